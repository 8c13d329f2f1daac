// A data register that takes no time: it only notes when each byte arrived, so the benchmark
// sees the pacing of Out32 and the bus code and nothing else.
#include "instant_port.h"

#include "data_register.h"

namespace {
std::vector<std::chrono::steady_clock::time_point> arrivals;
}

void writeDataRegister(std::uint16_t, std::uint8_t) {
    arrivals.push_back(std::chrono::steady_clock::now());
}

std::vector<std::chrono::steady_clock::time_point> &instantPortArrivals() {
    return arrivals;
}
