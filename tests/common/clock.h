// Microseconds on the monotonic performance counter: the time stamps of the recorder window,
// which the benchmarks compare with their own readings.
#pragma once

#include <windows.h>

namespace test {

inline double now_us() {
    static const double per_us = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1e6;
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / per_us;
}

} // namespace test
