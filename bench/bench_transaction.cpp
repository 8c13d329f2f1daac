// Prints how long one register write takes through the paced port layer with an instant port
// behind it, against the floor of 162 writes at one hold time each, and the smallest gap the
// pacing ever left between two writes.
#include "hold_floor.h"
#include "instant_port.h"
#include "panel/zq7130.h"
#include "samples.h"

#include <QApplication>

#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ZQ7130 window; // never shown: only its bus is used

    constexpr int kTransactions = 5000;
    constexpr int kWrites = 162;
    std::vector<double> micros;
    micros.reserve(kTransactions);
    for (int i = 0; i < kTransactions; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        window.PPort(kSpeakerStartup);
        const std::chrono::duration<double, std::micro> took =
            std::chrono::steady_clock::now() - begin;
        micros.push_back(took.count());
    }

    const InstantPortRecord &port = instantPort();
    if (port.writes != std::uint64_t{kTransactions} * kWrites) {
        std::fprintf(stderr,
                     "bench_transaction: %llu port writes, expected %d per register write\n",
                     static_cast<unsigned long long>(port.writes), kWrites);
        return 1;
    }
    const Spread took = spread(micros);
    const double floor = kWrites * std::chrono::duration<double, std::micro>(kHoldFloor).count();
    std::printf("register write, %d writes, %d runs: median %.1f us, min %.1f us, "
                "floor %.0f us, median/floor %.3f\n",
                kWrites, kTransactions, took.median, took.min, floor, took.median / floor);
    std::printf("smallest gap between consecutive writes: %.3f us (floor %.3f us)\n",
                std::chrono::duration<double, std::micro>(port.smallestGap).count(),
                std::chrono::duration<double, std::micro>(kHoldFloor).count());
    return 0;
}
