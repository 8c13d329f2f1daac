// What every benchmark prints of its samples: the median, which noise moves least, and the
// minimum, the best the machine did.
#pragma once

#include <algorithm>
#include <vector>

struct Spread {
    double median;
    double min;
};

inline Spread spread(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.front()};
}
