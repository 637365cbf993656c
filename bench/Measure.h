#pragma once

#include <sys/resource.h>

#include <algorithm>

namespace qt2xx::bench {

// The CPU time this process has used, user and system together, in seconds.
inline double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The longest and the total of a series of durations, in milliseconds.
struct Longest {
    double longest = 0;
    double total = 0;
    int count = 0;
    void add(double ms) {
        longest = std::max(longest, ms);
        total += ms;
        ++count;
    }
};

} // namespace qt2xx::bench
