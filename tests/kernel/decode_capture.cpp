// Decodes captured data-register bytes, one per line as 0xhh on stdin, with the panel's I2C
// monitor: prints each register write as "0x7C <- 0x80", each bus-recovery pulse as "recovery
// pulse" and each breach of the protocol as "violation: ...". The capture's own timing is emulated,
// so the bytes are fed 5 us apart, well clear of every fast-mode minimum: only the order of the
// levels is judged.
#include "i2c_monitor.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

int main()
{
    I2cMonitor monitor(
        {[](std::uint8_t address, std::uint8_t data) {
             std::printf("0x%02X <- 0x%02X\n", address, data);
         },
         [](const std::string &problem) { std::printf("violation: %s\n", problem.c_str()); },
         [] { std::printf("recovery pulse\n"); }});
    constexpr std::chrono::microseconds kSpacing{5};
    I2cMonitor::Time when{};
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.empty()) {
            continue;
        }
        monitor.feed(static_cast<std::uint8_t>(std::stoul(line, nullptr, 16)), when);
        when += kSpacing;
    }
    monitor.finish();
    return 0;
}
