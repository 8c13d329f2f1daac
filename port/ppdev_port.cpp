// The real port: a parallel port through the kernel's ppdev interface, /dev/parport0 unless the
// operator names another; with --trace each register write is also printed once it is out. The
// device is opened and claimed before the first write (ppdev::prepare, or that write) and the
// claim is held until the process ends, so no other program or driver can write the port between
// our bytes. No root is needed, only
// read-write access to the device node, and PCIe cards work whatever their I/O address.
#include "inpout.h"
#include "kernel_devices.h"
#include "write_printer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include <fcntl.h>
#include <linux/major.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr int kClaimTimeoutSeconds = 2;
constexpr const char *kTryWithoutBoard = " To try the panel without a board, run zq80415-sim.";

std::string device = "/dev/parport0";
std::optional<WritePrinter> trace; // with --trace: each register write, once it is out whole

std::string hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%03X", value);
    return text;
}

[[noreturn]] void fail(const std::string &what, const std::string &reason, const std::string &fix)
{
    throw PortError(what + " " + device + ": " + reason + ".\n" + fix);
}

std::string fixFor(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return std::string("Load the parallel-port drivers (sudo modprobe parport_pc ppdev) and "
                           "check that the port is seen (dmesg | grep parport).") +
               kTryWithoutBoard;
    case EACCES:
    case EPERM:
        return "Join the group that owns the device, usually lp (sudo usermod -aG lp $USER), "
               "then log in again.";
    case EBUSY:
        return "Close the program holding the port (another copy of this panel?) or unload the "
               "driver holding it (sudo rmmod lp).";
    case ENOTTY:
    case EINVAL:
        return device + " is not a parallel-port device: check the ppdev driver.";
    default:
        return "Check the parallel port and its drivers (parport_pc, ppdev).";
    }
}

[[noreturn]] void failWith(const std::string &what, int error)
{
    fail(what, std::strerror(error), fixFor(error));
}

// Refuses, before opening it, anything that is not a ppdev device node: opening an arbitrary
// device can have effects of its own.
void checkIsParallelPort()
{
    struct stat node {};
    if (stat(device.c_str(), &node) < 0) {
        failWith("Cannot open the parallel port", errno);
    }
    const char *problem = !S_ISCHR(node.st_mode)            ? "it is not a character device"
                          : major(node.st_rdev) != PP_MAJOR ? "it is not a parallel-port device"
                                                            : nullptr;
    if (problem != nullptr) {
        // The listing has a line of its own: a message box would wrap its path after a slash.
        fail("Cannot use", problem,
             "Name a parallel-port device with --port, such as /dev/parport0\n"
             "(ls /dev/parport*).");
    }
}

void ignoreSignal(int) {}

// PPCLAIM sleeps for as long as someone else holds the port. A timer aimed at this thread
// interrupts it with EINTR after kClaimTimeoutSeconds (and every 50 ms after, should the first
// expiry fall just before the sleep). Every other signal is blocked for the wait and delivered
// when it ends: an interrupted PPCLAIM must not be tried again, since the kernel leaves the
// sleeping claim on the port's wait list and a second one enters it twice (on Linux 6.1 the
// next claim of the port then hung), and a Ctrl+C must not cut the wait short either.
int claimWithTimeout(int fd)
{
    struct sigaction wake {};
    struct sigaction previous {};
    wake.sa_handler = ignoreSignal; // no SA_RESTART: the ioctl must return EINTR
    sigemptyset(&wake.sa_mask);
    sigaction(SIGALRM, &wake, &previous);
    sigset_t onlyTimer;
    sigset_t previousMask;
    sigfillset(&onlyTimer);
    sigdelset(&onlyTimer, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &onlyTimer, &previousMask);

    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = SIGALRM;
    event._sigev_un._tid = gettid();
    timer_t timer{};
    const bool timed = timer_create(CLOCK_MONOTONIC, &event, &timer) == 0;
    if (timed) {
        itimerspec expiry{};
        expiry.it_value.tv_sec = kClaimTimeoutSeconds;
        expiry.it_interval.tv_nsec = 50'000'000;
        timer_settime(timer, 0, &expiry, nullptr);
    }
    const int result = ioctl(fd, PPCLAIM);
    const int error = errno;
    if (timed) {
        timer_delete(timer);
    }
    sigaction(SIGALRM, &previous, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    errno = error;
    return result;
}

[[noreturn]] void failToClaim(int fd, int error)
{
    unsigned modes = 0;
    const bool portExists = ioctl(fd, PPGETMODES, &modes) == 0;
    close(fd);
    if (error == EINTR) {
        fail("Cannot claim the parallel port",
             "it is held by another program or driver (waited " +
                 std::to_string(kClaimTimeoutSeconds) + " s)",
             "Close the program holding the port (another copy of this panel?) or unload the "
             "driver holding it (sudo rmmod lp).");
    }
    // ppdev answers ENXIO both for a port held exclusively and for a node with no port.
    if (error == ENXIO && portExists) {
        fail("Cannot claim the parallel port", "another program holds it with exclusive access",
             "Find it with fuser -v " + device + " (or lsof " + device + ") and close it.");
    }
    failWith("Cannot claim the parallel port", error);
}

int openAndClaim()
{
    checkIsParallelPort();
    // Never O_CREAT: run as root without the device, it would create a plain file in /dev.
    const int fd = open(device.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        failWith("Cannot open the parallel port", errno);
    }
    if (claimWithTimeout(fd) < 0) {
        failToClaim(fd, errno);
    }
    int mode = IEEE1284_MODE_COMPAT;
    int forward = 0;
    if (ioctl(fd, PPSETMODE, &mode) < 0 || ioctl(fd, PPDATADIR, &forward) < 0) {
        const int error = errno;
        close(fd);
        failWith("Cannot set up the parallel port", error);
    }
    return fd;
}

// Opened and claimed once, for the life of the process; a failed attempt is retried next time.
int claimedPort()
{
    static const int fd = openAndClaim();
    return fd;
}

} // namespace

namespace ppdev {

std::string configure(const PortSettings &settings)
{
    if (!settings.device.empty()) {
        device = settings.device;
    }
    if (settings.trace) {
        trace.emplace(linkedPort().program);
    }
    // Checked here too, before the display is: what --port names is reported as itself.
    try {
        checkIsParallelPort();
    } catch (const PortError &error) {
        return error.what();
    }
    return {};
}

void prepare()
{
    claimedPort();
}

void write(std::uint16_t address, std::uint8_t value)
{
    if (address != kDataRegister) {
        throw PortError("Port address " + hex(address) + " is not supported: only " +
                        hex(kDataRegister) + ", the first parallel port (" + device +
                        "), is written.");
    }
    const int fd = claimedPort();
    if (ioctl(fd, PPWDATA, &value) < 0) {
        failWith("Cannot write to the parallel port", errno);
    }
    if (trace) {
        trace->feed(value, I2cMonitor::now());
    }
}

} // namespace ppdev

namespace ppdev {

// The bus cannot tell whether a chip listens: the port answering a status read is all there is.
int selfTest()
{
    try {
        unsigned char status = 0;
        return ioctl(claimedPort(), PPRSTATUS, &status) == 0 ? 0 : 1;
    } catch (const PortError &) {
        return 1;
    }
}

} // namespace ppdev
