// Prints how long one register write takes through the paced port layer with an instant port
// behind it, against the floor of 162 writes at one hold time each, and the smallest gap the
// pacing ever left between two writes.
#include "hold_floor.h"
#include "instant_port.h"
#include "panel/zq7130.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ZQ7130 window; // never shown: only its bus is used

    constexpr int kTransactions = 5000;
    constexpr int kWrites = 162;
    auto &arrivals = instantPortArrivals();
    arrivals.reserve(std::size_t{kTransactions} * kWrites);
    std::vector<double> micros;
    micros.reserve(kTransactions);
    for (int i = 0; i < kTransactions; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        window.PPort(kSpeakerStartup);
        const std::chrono::duration<double, std::micro> took =
            std::chrono::steady_clock::now() - begin;
        micros.push_back(took.count());
    }

    auto gap = arrivals[1] - arrivals[0];
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        gap = std::min(gap, arrivals[i] - arrivals[i - 1]);
    }
    std::sort(micros.begin(), micros.end());
    const double floor = kWrites * std::chrono::duration<double, std::micro>(kHoldFloor).count();
    const double median = micros[micros.size() / 2];
    std::printf("register write, %d writes, %d runs: median %.1f us, min %.1f us, "
                "floor %.0f us, median/floor %.3f\n",
                kWrites, kTransactions, median, micros.front(), floor, median / floor);
    std::printf("smallest gap between consecutive writes: %.3f us (floor %.3f us)\n",
                std::chrono::duration<double, std::micro>(gap).count(),
                std::chrono::duration<double, std::micro>(kHoldFloor).count());
    return 0;
}
