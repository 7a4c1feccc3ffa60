#pragma once
// Median and 95th percentile of repeated runs, shared by the benchmarks.
#include <QElapsedTimer>
#include <QFile>
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

// Peak resident memory of the process in MB since the last resetPeakMemory()
// (VmHWM; Linux resets it through clear_refs), or -1 when unknown.
inline double peakMemoryMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

inline void resetPeakMemory()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

} // namespace bench
