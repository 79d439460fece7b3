// Timing shared by the benchmarks that compare a loop with a baseline measured in the same run: the performance
// counter in seconds, and the best time per run of a body over a few rounds.
#pragma once

#include <windows.h>

inline double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Best time of `rounds` rounds of `body`, each round repeated until it lasts at least 20 ms.
template <typename F>
double SecondsPerRun(F body, int rounds = 5) {
    int runs = 1;
    for (;;) {
        const double start = Now();
        for (int i = 0; i < runs; ++i) body();
        if (Now() - start >= 0.02) break;
        runs *= 2;
    }
    double best = 1e30;
    for (int round = 0; round < rounds; ++round) {
        const double start = Now();
        for (int i = 0; i < runs; ++i) body();
        const double perRun = (Now() - start) / runs;
        if (perRun < best) best = perRun;
    }
    return best;
}
