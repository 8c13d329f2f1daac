// zq80415's device behind Out32: the parallel port unless the operator chose a kernel I2C
// adapter with --i2c. Both are linked; the settings pick one before the first write.
#include "data_register.h"
#include "hold_floor.h"
#include "kernel_devices.h"

namespace {
bool onI2c = false;
}

const LinkedPort &linkedPort()
{
    static const LinkedPort port{"zq80415",
                                 "Control panel for the ZQ80415 amplifier on the parallel port "
                                 "or on a kernel I2C adapter.",
                                 "/dev/parport0"};
    return port;
}

std::string configurePort(const PortSettings &settings)
{
    onI2c = !settings.i2cBus.empty();
    const std::string problem = onI2c ? i2cdev::configure(settings) : ppdev::configure(settings);
    return problem.empty() ? problem : std::string(portFailureHeadline()) + "\n" + problem;
}

std::string boardDevice(const PortSettings &settings, std::string &problem)
{
    if (!settings.i2cBus.empty()) {
        const std::string node = i2cdev::resolve(settings.i2cBus);
        if (node.empty()) {
            problem = i2cdev::unresolved(settings.i2cBus);
        }
        return node;
    }
    return settings.device.empty() ? linkedPort().defaultDevice : settings.device;
}

// The adapter times its own bus: the bytes only carry the levels to decode.
std::chrono::nanoseconds dataRegisterHoldFloor()
{
    return onI2c ? std::chrono::nanoseconds::zero() : kHoldFloor;
}

const char *portFailureHeadline()
{
    return onI2c ? "The panel cannot reach the board through the I2C adapter."
                 : "The panel cannot reach the board: the parallel port failed.";
}

void prepareDataRegister()
{
    onI2c ? i2cdev::prepare() : ppdev::prepare();
}

void writeDataRegister(std::uint16_t address, std::uint8_t value)
{
    onI2c ? i2cdev::write(address, value) : ppdev::write(address, value);
}

int selfTestDataRegister(std::uint8_t chipAddress)
{
    return onI2c ? i2cdev::selfTest(chipAddress) : ppdev::selfTest();
}
