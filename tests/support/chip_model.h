// The amplifier as its bus pins see it: an I2C receiver at 0x7C that acknowledges by pulling
// SDA low itself, accepts any number of data bytes after its address, and latches each data
// byte into the register its bits 7..6 select once the byte's acknowledge clock has ended.
// A port byte that moves both lines is taken one line at a time, in the order chosen.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

class ChipModel {
public:
    enum class Order { SclFirst, SdaFirst };
    std::array<std::optional<std::uint8_t>, 4> registers; // index: data bits 7..6

    explicit ChipModel(Order order)
        : order_(order)
    {
    }

    void feed(std::uint8_t portByte)
    {
        const bool sda = (portByte & 0x80) == 0;
        const bool scl = (portByte & 0x40) == 0;
        if (order_ == Order::SdaFirst) {
            portSda_ = sda;
            settleSda();
        }
        if (scl != scl_) {
            scl_ = scl;
            scl ? clockRose() : clockFell();
            settleSda();
        }
        portSda_ = sda;
        settleSda();
    }

private:
    enum class Phase { Idle, Address, Data, Ignore };

    void settleSda()
    {
        const bool sda = portSda_ && !acknowledging_;
        if (sda != sda_) {
            sda_ = sda;
            if (scl_) { // a start or stop condition ends whatever was being received
                phase_ = sda ? Phase::Idle : Phase::Address;
                clocks_ = 0;
                acknowledging_ = false;
            }
        }
    }
    void clockRose()
    {
        if ((phase_ == Phase::Address || phase_ == Phase::Data) && clocks_ < 9) {
            bits_ = clocks_ < 8 ? static_cast<std::uint8_t>(bits_ << 1 | (sda_ ? 1 : 0)) : bits_;
            ++clocks_;
        }
    }
    void clockFell()
    {
        if (clocks_ == 8 && !acknowledging_) { // the byte is in: acknowledge it, or not ours
            acknowledging_ = phase_ == Phase::Data || bits_ == 0xF8;
            phase_ = acknowledging_ ? phase_ : Phase::Ignore;
        } else if (clocks_ == 9) { // the acknowledge clock has ended
            acknowledging_ = false;
            if (phase_ == Phase::Data) {
                registers[bits_ >> 6] = bits_;
            }
            phase_ = Phase::Data;
            clocks_ = 0;
        }
    }

    Order order_;
    bool portSda_ = true;
    bool sda_ = true;
    bool scl_ = true;
    bool acknowledging_ = false;
    Phase phase_ = Phase::Idle;
    int clocks_ = 0;
    std::uint8_t bits_ = 0;
};
