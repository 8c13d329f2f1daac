// The chip on a kernel I2C adapter, through i2c-dev: the panel's port bytes are decoded back
// into register writes, and each goes out as one SMBus send byte to its 7-bit address, which
// SMBus-only controllers and full I2C adapters both offer. Bus-recovery pulses are dropped: the
// adapter keeps its own bus in order. A write the chip does not acknowledge is a port failure,
// and before reporting it the other address is probed, so the operator learns where the chip is.
#include "i2c_monitor.h"
#include "inpout.h"
#include "kernel_devices.h"
#include "write_printer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using i2cdev::adapterName;

constexpr unsigned kI2cDevMajor = 89; // I2C_MAJOR in the kernel's linux/major.h

std::string node;                  // the bus's /dev/i2c-N
std::string adapter;               // the adapter's name, once the node is known to be i2c-dev
unsigned number = 0;               // N, the adapter's number
std::optional<WritePrinter> trace; // with --trace: each register write, once acknowledged
unsigned long functions = 0;       // what the adapter can do (I2C_FUNCS)
int selected = -1;                 // the address I2C_SLAVE last set

std::string hex(unsigned value, const char *format = "0x%02X")
{
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string bus()
{
    return adapter.empty() ? node : node + " (" + adapter + ")";
}

[[noreturn]] void fail(const std::string &what, const std::string &reason, const std::string &fix)
{
    throw PortError(what + " " + bus() + ": " + reason + ".\n" + fix);
}

std::string fixFor(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "Load the I2C device interface (sudo modprobe i2c-dev) and list the buses with "
               "i2cdetect -l.";
    case EACCES:
    case EPERM:
        return "Join the group that owns the device, i2c on Debian (sudo usermod -aG i2c $USER; "
               "the i2c-tools package creates it), then log in again.";
    default:
        return "Check the I2C adapter and its driver (i2cdetect -l lists the buses).";
    }
}

[[noreturn]] void failWith(const std::string &what, int error)
{
    fail(what, std::strerror(error), fixFor(error));
}

// Refuses, before opening it, anything that is not an i2c-dev node: opening an arbitrary
// device can have effects of its own.
void checkIsI2cBus()
{
    struct stat status {};
    if (stat(node.c_str(), &status) < 0) {
        failWith("Cannot open the I2C bus", errno);
    }
    const char *problem = !S_ISCHR(status.st_mode) ? "it is not a character device"
                          : major(status.st_rdev) != kI2cDevMajor
                              ? "it is not an I2C bus device (i2c-dev)"
                              : nullptr;
    if (problem != nullptr) {
        fail("Cannot use", problem,
             "Name an I2C bus with --i2c: /dev/i2c-N, N or the adapter's name (i2cdetect -l "
             "lists them).");
    }
    number = minor(status.st_rdev);
    adapter = adapterName(number);
}

// One panel per bus: a write lock on the whole node, held while the process lives (the kernel
// drops it with the process). A second panel finds the first one's pid in the lock and stops
// before its first byte, so neither writes over the other's chip.
void lockBus(int fd)
{
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &whole) == 0) {
        return;
    }
    const int error = errno;
    if (error != EACCES && error != EAGAIN) {
        close(fd);
        failWith("Cannot lock the I2C bus", error);
    }
    whole.l_type = F_WRLCK;
    const bool known =
        fcntl(fd, F_GETLK, &whole) == 0 && whole.l_type != F_UNLCK && whole.l_pid > 0;
    close(fd);
    const std::string pid = known ? std::to_string(whole.l_pid) : std::string();
    fail("Cannot use the I2C bus",
         "another panel drives it" + (known ? " (pid " + pid + ")" : std::string()),
         "Close that panel" + (known ? " (kill " + pid + ")" : std::string()) +
             ", or, if it was started with --listen, drive it from a script: " +
             linkedPort().program + " --i2c " + node + " --send COMMAND.");
}

int openBus()
{
    checkIsI2cBus();
    // Never O_CREAT: run as root without the device, it would create a plain file in /dev.
    const int fd = open(node.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        failWith("Cannot open the I2C bus", errno);
    }
    lockBus(fd);
    if (ioctl(fd, I2C_FUNCS, &functions) < 0) {
        const int error = errno;
        close(fd);
        failWith("Cannot ask what the I2C adapter can do on", error);
    }
    if ((functions & I2C_FUNC_SMBUS_WRITE_BYTE) == 0) {
        close(fd);
        fail("Cannot use", "its adapter cannot send a single byte (SMBus send byte)",
             "Every register write is one such byte: use another adapter (i2cdetect -l lists "
             "them, i2cdetect -F N shows what adapter N can do).");
    }
    return fd;
}

// Opened once, for the life of the process; a failed attempt is retried next time.
int openedBus()
{
    static const int fd = openBus();
    return fd;
}

// I2C_SLAVE refuses an address a kernel driver has bound: the panel never writes behind it.
int select(int address)
{
    if (address == selected) {
        return 0;
    }
    const int result = ioctl(openedBus(), I2C_SLAVE, static_cast<unsigned long>(address));
    selected = result == 0 ? address : -1;
    return result;
}

int transfer(std::uint8_t command, std::uint32_t size)
{
    i2c_smbus_ioctl_data request{I2C_SMBUS_WRITE, command, size, nullptr};
    return ioctl(openedBus(), I2C_SMBUS, &request);
}

// Whether a chip acknowledges at the other address, by a quick write: its address alone, so
// nothing can be latched there.
std::string probeOther(int address)
{
    const int other = address ^ 1;
    if ((functions & I2C_FUNC_SMBUS_QUICK) == 0) {
        return "This adapter cannot probe " + hex(other) + " for a chip.";
    }
    if (select(other) < 0) {
        return "A kernel driver holds " + hex(other) + ", so it was not probed.";
    }
    if (transfer(0, I2C_SMBUS_QUICK) < 0) {
        return "No chip answers at " + hex(other) + " either.";
    }
    const std::string bit = std::to_string(other & 1);
    return "A chip answers at " + hex(other) + ": select I2C ADDRESS BIT " + bit +
           " in the window, or start the panel with --address " + bit + ".";
}

// Missing acknowledges as adapters report them: most adapters ENXIO, many SoC controllers
// EREMOTEIO, some ENODEV, and some USB bridges ETIMEDOUT or EIO.
bool unacknowledged(int error)
{
    return error == ENXIO || error == EREMOTEIO || error == ENODEV || error == ETIMEDOUT ||
           error == EIO;
}

void sendByte(std::uint8_t address, std::uint8_t data)
{
    const std::string write = hex(address) + " <- " + hex(data);
    if (select(address) < 0) {
        const int error = errno;
        if (error != EBUSY) {
            failWith("Cannot address " + hex(address) + " on", error);
        }
        const std::string client = std::to_string(number) + hex(address, "-%04x");
        fail("Cannot send " + write + " on", "a kernel driver is bound at " + hex(address),
             "See which with ls -l /sys/bus/i2c/devices/" + client +
                 "/driver, and unbind it or remove that device; the panel never writes behind a "
                 "driver's back.");
    }
    if (transfer(data, I2C_SMBUS_BYTE) < 0) {
        const int error = errno;
        if (!unacknowledged(error)) {
            failWith("Cannot send " + write + " on", error);
        }
        const std::string probe = probeOther(address);
        throw PortError("The chip did not acknowledge " + write + " on " + bus() + ": " +
                        std::strerror(error) +
                        ".\nThe chip keeps the settings it had before this write. " + probe +
                        "\nCheck that the board is powered, that SDA, SCL and ground reach it "
                        "from this bus, and that the I2C ADDRESS BIT matches its address strap.");
    }
}

[[noreturn]] void notARegisterWrite(const std::string &problem)
{
    throw PortError("The panel's bus levels for " + bus() +
                    " do not form a register write: " + problem + ".\nNothing more is sent.");
}

I2cMonitor &transactions()
{
    static I2cMonitor monitor({sendByte, notARegisterWrite, {}});
    return monitor;
}

} // namespace

namespace i2cdev {

std::string configure(const PortSettings &settings)
{
    node = resolve(settings.i2cBus);
    if (node.empty()) {
        return i2cdev::unresolved(settings.i2cBus);
    }
    if (settings.trace) {
        trace.emplace(linkedPort().program);
    }
    // Checked here too, before the display is: what --i2c names is reported as itself.
    try {
        checkIsI2cBus();
    } catch (const PortError &error) {
        return error.what();
    }
    return {};
}

void prepare()
{
    openedBus();
}

void write(std::uint16_t address, std::uint8_t value)
{
    if (address != kDataRegister) {
        throw PortError("Port address " + hex(address, "0x%03X") + " is not supported: only " +
                        hex(kDataRegister, "0x%03X") + " carries the bus to " + node + ".");
    }
    openedBus();
    // Only the order of the levels matters here; evenly spaced times keep the monitor's
    // fast-mode checks, meant for the parallel port's lines, out of the way.
    static I2cMonitor::Time when{};
    when += std::chrono::microseconds(5);
    transactions().feed(value, when);
    if (trace) {
        trace->feed(value, when);
    }
}

} // namespace i2cdev

namespace i2cdev {

// A quick write to the chip's address: it acknowledges or not, and nothing is latched.
int selfTest(std::uint8_t chipAddress)
{
    try {
        openedBus();
        if ((functions & I2C_FUNC_SMBUS_QUICK) == 0 || select(chipAddress) < 0) {
            return 1;
        }
        return transfer(0, I2C_SMBUS_QUICK) == 0 ? 0 : 1;
    } catch (const PortError &) {
        return 1;
    }
}

} // namespace i2cdev
