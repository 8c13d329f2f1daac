// Port-byte streams built from line levels, independently of the panel's own frames: what the
// decoding tests feed the monitor and the devices behind Out32.
#pragma once

#include <cstdint>
#include <vector>

// Builds a port-byte stream from line levels (true = released high), one level change a byte.
class Stream {
public:
    std::vector<std::uint8_t> bytes{0x3F};

    Stream &levels(bool sda, bool scl)
    {
        bytes.push_back(static_cast<std::uint8_t>((sda ? 0 : 0x80) | (scl ? 0 : 0x40) | 0x3F));
        return *this;
    }
    Stream &start() { return levels(false, true).levels(false, false); }
    Stream &bit(bool one) { return levels(one, false).levels(one, true).levels(one, false); }
    Stream &byte(unsigned value, int bits = 8)
    {
        for (int i = bits - 1; i >= 0; --i) {
            bit(((value >> i) & 1U) != 0);
        }
        return *this;
    }
    Stream &stop() { return levels(false, false).levels(false, true).levels(true, true); }
    // A recovery pulse: a clock whose SDA follows SCL half a cycle later, ending in a stop.
    Stream &recover()
    {
        return levels(true, false).levels(false, false).levels(false, true).levels(true, true);
    }
    Stream &write(unsigned addressByte, unsigned data)
    {
        return start().byte(addressByte).bit(true).byte(data).bit(true).stop();
    }
};
