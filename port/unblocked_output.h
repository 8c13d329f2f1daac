// Bytes for a descriptor the panel must never wait on (standard output, a recording): what the
// descriptor takes at once is written, the rest waits here, up to a bound, and goes out with
// the next bytes or when the run ends. A pipe or FIFO whose reader stops reading fills that
// bound instead of freezing the window; signals end the panel all the same.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

class UnblockedOutput {
public:
    enum class Outcome {
        Taken,   // written, or waiting within the bound
        Refused, // would exceed the bound: not taken; what waits is kept
        Failed,  // the descriptor failed (error() says how): nothing more is written
    };

    UnblockedOutput(int descriptor, std::size_t bound);

    Outcome put(std::string_view bytes);
    // Writes what waits, giving the reader at most `patience` to take it.
    void drain(std::chrono::milliseconds patience);
    int error() const { return error_; }
    // The lines still waiting for the reader.
    std::size_t waitingLines() const;
    int descriptor() const { return descriptor_; }

private:
    void writeWhatFits();

    int descriptor_;
    std::size_t bound_;
    std::string waiting_;
    int error_ = 0;
};
