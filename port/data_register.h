// The device behind Out32. Each executable links exactly one implementation: the kernel's
// parallel port (zq80415), the simulated board (zq80415-sim), or a test's recording port.
#pragma once

#include <cstdint>

// Puts one byte on the data register at `address` at once, with no pacing of its own.
// Throws PortError when it cannot.
void writeDataRegister(std::uint16_t address, std::uint8_t value);
