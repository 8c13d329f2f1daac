#pragma once

#include <chrono>
#include <vector>

// When each byte reached the instant port, in order.
std::vector<std::chrono::steady_clock::time_point> &instantPortArrivals();
