// Names of I2C buses, read the way the usual I2C tools read them: a /dev/i2c-N path, the bus
// number N, or the adapter's name from /sys/class/i2c-dev/i2c-N/name, which must name exactly
// one adapter. Nothing is opened but those sysfs files.
#include "kernel_devices.h"

#include <filesystem>
#include <fstream>
#include <vector>

namespace {

const std::filesystem::path kAdapters = "/sys/class/i2c-dev";

std::string nameOf(const std::filesystem::path &entry)
{
    std::ifstream file(entry / "name");
    std::string name;
    std::getline(file, name);
    return name;
}

// The /dev nodes of every adapter with this name.
std::vector<std::string> adaptersNamed(const std::string &name)
{
    std::vector<std::string> found;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(kAdapters, error)) {
        if (nameOf(entry.path()) == name) {
            found.push_back("/dev/" + entry.path().filename().string());
        }
    }
    return found;
}

} // namespace

namespace i2cdev {

std::string resolve(const std::string &bus)
{
    if (bus.starts_with('/')) {
        return bus;
    }
    // Six digits at most: far beyond any adapter number, and never out of stoul's range.
    if (!bus.empty() && bus.size() <= 6 &&
        bus.find_first_not_of("0123456789") == std::string::npos) {
        return "/dev/i2c-" + std::to_string(std::stoul(bus));
    }
    const std::vector<std::string> found = adaptersNamed(bus);
    return found.size() == 1 ? found.front() : std::string();
}

std::string unresolved(const std::string &bus)
{
    return (adaptersNamed(bus).empty() ? "No I2C adapter is named '"
                                       : "Several I2C adapters are named '") +
           bus +
           "': name the bus as /dev/i2c-N, by its number N or by a name i2cdetect -l lists "
           "once (load i2c-dev first: sudo modprobe i2c-dev).";
}

std::string adapterName(unsigned number)
{
    return nameOf(kAdapters / ("i2c-" + std::to_string(number)));
}

} // namespace i2cdev
