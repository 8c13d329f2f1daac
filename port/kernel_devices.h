// The two kernel devices zq80415 can drive, each in its own file: the parallel port (ppdev) and
// an I2C adapter (i2c-dev). kernel_port.cpp picks one at run time and presents it as the device
// behind Out32.
#pragma once

#include "data_register.h"

#include <cstdint>
#include <string>

namespace ppdev {
// Returns what is wrong with the device node, for the operator, or an empty text; the node is
// looked at, not opened.
std::string configure(const PortSettings &settings);
void prepare();
void write(std::uint16_t address, std::uint8_t value);
} // namespace ppdev

namespace i2cdev {
// Naming a bus (i2c_buses.cpp). The adapter's device node for a bus as the operator names it
// (/dev/i2c-N, N or the adapter's name), found without opening anything; empty when no adapter,
// or more than one, has that name.
std::string resolve(const std::string &bus);
// What is wrong with a bus that resolve() found no node for, for the operator.
std::string unresolved(const std::string &bus);
// Adapter N's name, as i2cdetect -l lists it; empty when it has none.
std::string adapterName(unsigned number);

// The device (i2cdev_port.cpp).
// Returns what is wrong with the bus's name or node, for the operator, or an empty text; the
// node is looked at, not opened.
std::string configure(const PortSettings &settings);
void prepare();
void write(std::uint16_t address, std::uint8_t value);
} // namespace i2cdev

// Self-tests (data_register.h), at the end of each device's file.
namespace ppdev {
int selfTest();
} // namespace ppdev
namespace i2cdev {
int selfTest(std::uint8_t chipAddress);
} // namespace i2cdev
