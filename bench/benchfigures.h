#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <sys/resource.h>
#include <sys/time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

// The figures every benchmark prints, and how they wait for what they measure.

// Every line out as soon as it is printed, also into a pipe or a CI log: a
// benchmark that dies keeps what it measured before.
inline void lineBufferedOutput()
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
}

// TRV_BENCH_SHORT=1 (CI): each measurement runs through with few runs, to show
// that it still runs and measures; its figures are not worth comparing.
inline bool shortBench()
{
    return qEnvironmentVariableIntValue("TRV_BENCH_SHORT") == 1;
}

inline int benchRuns(int full, int few)
{
    return shortBench() ? few : full;
}

// The end of the line that sets a figure beside its aim.
inline const char *metText(bool met)
{
    return met ? "met" : "NOT met";
}

// Lets the console run (ticks, broker deliveries, the probe page) meanwhile.
inline void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline bool waitUntil(const std::function<bool()> &ready, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!ready()) {
        if (waited.elapsed() >= timeoutMs)
            return false;
        runFor(2);
    }
    return true;
}

// User and system CPU of every thread of the process, in milliseconds.
inline double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval &t) { return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}


inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[size_t(std::lround(p * double(values.size() - 1)))];
}

inline double median(const std::vector<double> &values)
{
    return percentile(values, 0.5);
}

inline double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// A "Name:  value kB" line of /proc/self/status, as a number.
inline long procStatus(const char *name)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(name) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

inline int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}
