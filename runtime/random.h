// The runtime's only random source: MT19937 with the 1998 reference seeding. Outputs are
// made and tempered 624 at a time so that each call is an array read. Called under the API
// lock; the public RandomInt/RandomSetSeed wrappers live in runtime/public_api.cpp.
#pragma once

#include <stdint.h>

// Seeds with the 1998 reference seeding and regenerates at once.
void RandomSeedState(uint32_t seed);
// Returns 0.
int RandomSetSeedImpl(int seed);
// Next tempered output; the first call without any seeding seeds with 4357.
uint32_t RandomNext32();
// Uniform integer in 0..max inclusive: high 32 bits of output * (max + 1), with max + 1
// sign-extended and computed in 64 bits. max -1 gives 0.
int RandomIntImpl(int max);
// 1 when the processor has CPUID and reports MMX.
int HasMmx();
