// Throughput of the runtime's random generator: raw 32-bit outputs and 0..max draws, beside
// the standard library's MT19937 on the same machine for scale. Prints figures only.
#include <windows.h>

#include <stdint.h>
#include <stdio.h>

#include <random>

#include "bench/bench_timing.h"
#include "runtime/random.h"

namespace {

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER frequency) {
    return (double)(b.QuadPart - a.QuadPart) / (double)frequency.QuadPart;
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    const int draws = Repeats(50000000, 500000);
    LARGE_INTEGER frequency, t0, t1;
    QueryPerformanceFrequency(&frequency);

    RandomSeedState(4357);
    uint32_t sink = 0;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < draws; ++i) sink ^= RandomNext32();
    QueryPerformanceCounter(&t1);
    double ours = Seconds(t0, t1, frequency);

    QueryPerformanceCounter(&t0);
    for (int i = 0; i < draws; ++i) sink ^= (uint32_t)RandomIntImpl(6);
    QueryPerformanceCounter(&t1);
    double oursInt = Seconds(t0, t1, frequency);

    std::mt19937 standard(5489u);
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < draws; ++i) sink ^= (uint32_t)standard();
    QueryPerformanceCounter(&t1);
    double theirs = Seconds(t0, t1, frequency);

    printf("RandomNext32        : %7.2f ns/draw  %8.1f M draws/s\n", ours * 1e9 / draws, draws / ours / 1e6);
    printf("RandomIntImpl(6)    : %7.2f ns/draw  %8.1f M draws/s\n", oursInt * 1e9 / draws, draws / oursInt / 1e6);
    printf("std::mt19937        : %7.2f ns/draw  %8.1f M draws/s\n", theirs * 1e9 / draws, draws / theirs / 1e6);
    printf("ratio ours/standard : %.2f   (checksum %08x)\n", ours / theirs, (unsigned)sink);
    return 0;
}
