// The port-output module: the one operation that writes a byte to an I/O port.
#pragma once

#include <cstdint>
#include <stdexcept>

// The data register of the first parallel port, the only address the panel writes.
inline constexpr std::uint16_t kDataRegister = 0x378;

// A port write that could not be made. what() is meant for the operator: what failed, on
// which device, the system's reason and how to fix it.
class PortError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes one byte to an I/O port address, at least the linked device's hold floor (kHoldFloor
// on the parallel port) after the previous write ended, so that each line level lasts at least
// that long however fast the port is. Throws PortError when the byte cannot be written; nothing
// is ever read back.
void Out32(std::uint16_t address, std::uint8_t value);
