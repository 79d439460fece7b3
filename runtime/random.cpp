// MT19937 with the 1998 reference seeding. A whole block of 624 outputs is regenerated and
// tempered at once so each RandomNext32 is an array read. Portable C++ only: it gives the same
// words on every processor, so no separate MMX form is kept.
#include "runtime/random.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

constexpr int kN = 624;
constexpr int kM = 397;
constexpr uint32_t kMatrixA = 0x9908B0DFu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;

struct RandomState {
    uint32_t mt[kN + 1];  // the extra word holds mt[0] while the tail is regenerated
    uint32_t out[kN];
    int pos;
    int seeded;
    int useMmx;
};

RandomState g_random;

inline uint32_t Twist(uint32_t current, uint32_t next, uint32_t far) {
    uint32_t y = (current & kUpperMask) | (next & kLowerMask);
    return far ^ (y >> 1) ^ ((y & 1u) ? kMatrixA : 0u);
}

void Regenerate() {
    uint32_t* mt = g_random.mt;
    int k = 0;
    for (; k < kN - kM; ++k) mt[k] = Twist(mt[k], mt[k + 1], mt[k + kM]);
    mt[kN] = mt[0];
    for (; k < kN; ++k) mt[k] = Twist(mt[k], mt[k + 1], mt[k - (kN - kM)]);
    for (int i = 0; i < kN; ++i) {
        uint32_t y = mt[i];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        g_random.out[i] = y;
    }
    g_random.pos = 0;
}

}  // namespace

int HasMmx() {
#if defined(__i386__) || defined(__x86_64__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    // __get_cpuid checks that CPUID exists and that the leaf is reported.
    if (__get_cpuid(0, &eax, &ebx, &ecx, &edx) == 0 || eax < 1) return 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return 0;
    return (edx & (1u << 23)) ? 1 : 0;
#else
    return 0;
#endif
}

void RandomSeedState(uint32_t seed) {
    uint32_t x = seed;
    for (int i = 0; i < kN; ++i) {
        g_random.mt[i] = (x & 0xFFFF0000u) | ((x * 69069u + 1u) >> 16);
        x = x * 475559465u + 69070u;  // two steps of x -> 69069 x + 1
    }
    g_random.useMmx = HasMmx();
    g_random.seeded = 1;
    Regenerate();
}

int RandomSetSeedImpl(int seed) {
    RandomSeedState((uint32_t)seed);
    return 0;
}

uint32_t RandomNext32() {
    if (!g_random.seeded) {
        RandomSeedState(4357u);
    } else if (g_random.pos >= kN) {
        Regenerate();
    }
    return g_random.out[g_random.pos++];
}

int RandomIntImpl(int max) {
    uint32_t r = RandomNext32();
    // max + 1 in 64 bits: max = INT_MAX must not wrap to a negative multiplier.
    int64_t range = (int64_t)max + 1;
    int64_t product = (int64_t)r * range;
    return (int)(product >> 32);
}
