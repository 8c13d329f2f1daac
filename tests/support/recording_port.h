// A data register for tests: records every byte written, with its address and time, and can be
// told to fail at a given write.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace recording {

struct Write {
    std::uint16_t address;
    std::uint8_t value;
    std::chrono::steady_clock::time_point when;
};

// A register write as it appeared on the bus: 8-bit address byte, data byte.
using Transaction = std::pair<std::uint8_t, std::uint8_t>;

// Forgets every write and disarms any failure.
void clear();
// The write with this 1-based number throws PortError and reaches nothing; 0 never fails.
void failAtWrite(std::size_t number);
// Runs `action` right after the write with this 1-based number is recorded, in the middle of
// whatever is writing.
void atWrite(std::size_t number, std::function<void()> action);

const std::vector<Write> &writes();
std::vector<std::uint8_t> bytes();
using Transactions = std::vector<Transaction>;

// The recorded bytes decoded as I2C register writes; any protocol or timing violation fails
// the current test.
Transactions transactions();
// The same, then forgets them: the writes since the previous call.
Transactions takeTransactions();

} // namespace recording
