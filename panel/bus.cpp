// The I2C line primitives and the frame sender. Port bytes: bit 7 drives SDA and bit 6 drives
// SCL through inverting drivers (1 pulls the line low, 0 releases it high); bits 5..0 are
// always 1. So only four bytes are ever written:
//   0xFF SDA low, SCL low     0x7F SDA high, SCL low
//   0xBF SDA low, SCL high    0x3F SDA high, SCL high (bus idle)
// Every level is written twice in a row, some four times; that repetition, paced by Out32,
// is the only hold time the bus gets.
#include "inpout.h"
#include "zq7130.h"

#include <initializer_list>

namespace {

void writeSequence(std::initializer_list<std::uint8_t> bytes)
{
    for (const std::uint8_t byte : bytes) {
        Out32(kDataRegister, byte);
    }
}

} // namespace

// From idle: SDA falls while SCL is high, then SCL falls. Ends with both lines low.
void ZQ7130::I2C_START()
{
    writeSequence({0x3F, 0x3F, 0xBF, 0xBF, 0xBF, 0xBF, 0xFF, 0xFF});
}

// SCL is low on entry. SDA is released while SCL is low, clocked, and left released.
void ZQ7130::I2C_ONE()
{
    writeSequence({0xFF, 0xFF, 0x7F, 0x7F, 0x3F, 0x3F, 0x7F, 0x7F});
}

// SCL is low on entry. SDA is pulled low while SCL is low and held low through the clock.
void ZQ7130::I2C_ZERO()
{
    writeSequence({0xFF, 0xFF, 0xFF, 0xFF, 0xBF, 0xBF, 0xFF, 0xFF});
}

// SCL is low on entry. SCL rises with SDA low, then SDA rises while SCL is high: idle.
void ZQ7130::I2C_STOP()
{
    writeSequence({0xFF, 0xFF, 0xFF, 0xFF, 0xBF, 0xBF, 0xBF, 0xBF, 0x3F, 0x3F});
}

// Frees a bus that a cut-off write may have left mid-byte, possibly with the chip holding SDA
// low for an acknowledge: nine clock pulses, each with SDA following SCL half a cycle later, so
// every pulse ends in a stop condition and the chip drops whatever it was receiving. It begins
// by pulling SCL low with SDA released: from any level a cut-off write can leave, that clocks
// in no new bit, where releasing both lines at once could clock in a one. Ends idle.
void ZQ7130::I2C_RECOVER()
{
    for (int pulse = 0; pulse < 9; ++pulse) {
        writeSequence({0x7F, 0x7F, 0xFF, 0xFF, 0xBF, 0xBF, 0x3F, 0x3F});
    }
}

void ZQ7130::PPort(const BitFrame &frame)
{
    I2C_START();
    for (const std::int16_t slot : frame) {
        if (slot == 1) {
            I2C_ONE();
        } else {
            I2C_ZERO();
        }
    }
    I2C_STOP();
}
