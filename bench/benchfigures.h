#pragma once

#include <QElapsedTimer>

#include <algorithm>
#include <vector>

// The figures every benchmark prints.

inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[size_t(p * double(values.size() - 1) + 0.5)];
}

inline double median(const std::vector<double> &values)
{
    return percentile(values, 0.5);
}

inline double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}
