// The real port: the first parallel port through the kernel's ppdev interface. The device is
// opened and claimed at the first write and the claim is held until the process ends, so no
// other program or driver can write the port between our bytes. No root is needed, only
// read-write access to the device node, and PCIe cards work whatever their I/O address.
#include "data_register.h"
#include "inpout.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr const char *kDevice = "/dev/parport0";
constexpr int kClaimTimeoutSeconds = 2;

std::string hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%03X", value);
    return text;
}

std::string fixFor(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "Load the parallel-port drivers (sudo modprobe parport_pc ppdev) and check that "
               "the board is on the first parallel port.";
    case EACCES:
    case EPERM:
        return "Join the group that owns the device, usually lp (sudo usermod -aG lp $USER), "
               "then log in again.";
    case EINTR:
    case EBUSY:
        return "Close the program holding the port (another copy of this panel?) or unload the "
               "driver holding it (sudo rmmod lp).";
    case ENOTTY:
    case EINVAL:
        return std::string(kDevice) + " is not a parallel-port device: check the ppdev driver.";
    default:
        return "Check the parallel port and its drivers (parport_pc, ppdev).";
    }
}

[[noreturn]] void fail(const std::string &what, int error)
{
    const std::string reason = error == EINTR ? "it is held by another program or driver (waited " +
                                                    std::to_string(kClaimTimeoutSeconds) + " s)"
                                              : std::strerror(error);
    throw PortError(what + " " + kDevice + ": " + reason + ".\n" + fixFor(error));
}

void ignoreSignal(int) {}

// PPCLAIM sleeps for as long as someone else holds the port. A one-shot timer aimed at this
// thread interrupts the sleep with EINTR after kClaimTimeoutSeconds.
int claimWithTimeout(int fd)
{
    struct sigaction wake {};
    struct sigaction previous {};
    wake.sa_handler = ignoreSignal; // no SA_RESTART: the ioctl must return EINTR
    sigemptyset(&wake.sa_mask);
    sigaction(SIGALRM, &wake, &previous);

    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = SIGALRM;
    event._sigev_un._tid = gettid();
    timer_t timer{};
    const bool timed = timer_create(CLOCK_MONOTONIC, &event, &timer) == 0;
    if (timed) {
        itimerspec expiry{};
        expiry.it_value.tv_sec = kClaimTimeoutSeconds;
        timer_settime(timer, 0, &expiry, nullptr);
    }
    const int result = ioctl(fd, PPCLAIM);
    const int error = errno;
    if (timed) {
        timer_delete(timer);
    }
    sigaction(SIGALRM, &previous, nullptr);
    errno = error;
    return result;
}

int openAndClaim()
{
    // Never O_CREAT: run as root without the device, it would create a plain file in /dev.
    const int fd = open(kDevice, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        fail("Cannot open the parallel port", errno);
    }
    int mode = IEEE1284_MODE_COMPAT;
    int forward = 0;
    if (claimWithTimeout(fd) < 0) {
        const int error = errno;
        close(fd);
        fail("Cannot claim the parallel port", error);
    }
    if (ioctl(fd, PPSETMODE, &mode) < 0 || ioctl(fd, PPDATADIR, &forward) < 0) {
        const int error = errno;
        close(fd);
        fail("Cannot set up the parallel port", error);
    }
    return fd;
}

} // namespace

void writeDataRegister(std::uint16_t address, std::uint8_t value)
{
    if (address != kDataRegister) {
        throw PortError("Port address " + hex(address) + " is not supported: only " +
                        hex(kDataRegister) + ", the first parallel port (" + kDevice +
                        "), is written.");
    }
    // Opened and claimed once; a failed attempt is retried at the next write.
    static const int fd = openAndClaim();
    if (ioctl(fd, PPWDATA, &value) < 0) {
        fail("Cannot write to the parallel port", errno);
    }
}
