// The device behind Out32. Each executable links exactly one implementation: the kernel's
// devices (zq80415: the parallel port or an I2C adapter, chosen at run time), the simulated
// board (zq80415-sim), or a test's recording port.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// Puts one byte on the data register at `address` at once, with no pacing of its own.
// Throws PortError when it cannot.
void writeDataRegister(std::uint16_t address, std::uint8_t value);
// Makes the device ready now rather than at the first write: the kernel's port is opened and
// claimed, waiting for another holder as a first write would. Throws PortError when it cannot.
void prepareDataRegister();

// What the operator may tell the linked device before its first write.
struct PortSettings {
    std::string device;  // the parallel-port device node; empty keeps the default
    std::string i2cBus;  // a kernel I2C adapter instead: /dev/i2c-N, N or its name; empty: none
    bool trace = false;  // the real port also prints each register write, as the board does
    std::string vcdPath; // the simulated board also records the bus there; empty: not at all
};

// How the linked device presents its program on the command line.
struct LinkedPort {
    const char *program;       // the executable's name, as messages begin
    const char *description;   // one line for --help
    const char *defaultDevice; // nullptr when there is no device to choose
};
const LinkedPort &linkedPort();
// Takes the settings the linked device has a use for. Returns what went wrong, for the operator,
// or an empty text.
std::string configurePort(const PortSettings &settings);

// Shortest time between the starts of two port writes that the device needs: kHoldFloor for
// devices whose bytes are the bus lines themselves, zero for one that turns them back into
// whole transactions.
std::chrono::nanoseconds dataRegisterHoldFloor();
// The first line of the operator's message when a write fails: what could not be reached.
const char *portFailureHeadline();
// The device node the panel drives with these settings, resolved without opening anything:
// the parallel port's node or the I2C adapter's /dev/i2c-N; empty for the simulated board. An
// I2C bus that names no adapter (or several) names none: then `problem` says so, for the
// operator.
std::string boardDevice(const PortSettings &settings, std::string &problem);

// Self-test, for a remote client's *TST?: 0 when the chip at `chipAddress` (7-bit) acknowledges
// its address alone (an I2C adapter's quick write: nothing is latched), or, where the bus
// cannot tell (the parallel port), when the port answers a read of its status register; non-zero
// otherwise. Writes no data byte and throws nothing.
int selfTestDataRegister(std::uint8_t chipAddress);
