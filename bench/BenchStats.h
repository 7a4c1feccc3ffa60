#pragma once
// Median and 95th percentile of repeated runs, shared by the benchmarks.
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace bench {

struct Figures
{
    double median;
    double p95;
};

// The figures of timings already taken, in milliseconds (at least one).
inline Figures figures(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) {
        return ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))];
    };
    return {at(0.5), at(0.95)};
}

// Times `body` `runs` times.
inline Figures measure(int runs, const std::function<void()> &body)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        body();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return figures(std::move(ms));
}

} // namespace bench
