// Timing shared by the benchmarks that compare a loop with a baseline measured in the same run: the performance
// counter in seconds, the best time per run of a body over a few rounds, and the short mode.
#pragma once

#include <windows.h>

#include <string.h>

#include <algorithm>
#include <vector>

// Short mode (argument --short): each benchmark runs every case once with the fewest repetitions, so that CI can
// see it run to the end and print its ratios within seconds. Its figures are not measurements.
inline bool& ShortRunFlag() {
    static bool on = false;
    return on;
}
inline bool ShortRun() { return ShortRunFlag(); }
inline void ReadBenchArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--short") == 0) ShortRunFlag() = true;
    }
}
// `full` repetitions normally, `short` in short mode.
inline int Repeats(int full, int short_) { return ShortRun() ? short_ : full; }

// The median of a few values (the upper middle of an even count).
inline double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline double BenchSeconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Best time of `rounds` rounds of `body`, each round repeated until it lasts at least 20 ms (short mode: one round
// of one run).
template <typename F>
double SecondsPerRun(F body, int rounds = 5) {
    int runs = 1;
    if (ShortRun()) rounds = 1;
    for (;;) {
        if (ShortRun()) break;
        const double start = BenchSeconds();
        for (int i = 0; i < runs; ++i) body();
        if (BenchSeconds() - start >= 0.02) break;
        runs *= 2;
    }
    double best = 1e30;
    for (int round = 0; round < rounds; ++round) {
        const double start = BenchSeconds();
        for (int i = 0; i < runs; ++i) body();
        const double perRun = (BenchSeconds() - start) / runs;
        if (perRun < best) best = perRun;
    }
    return best;
}
