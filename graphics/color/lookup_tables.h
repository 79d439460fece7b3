// Lookup tables that replace divisions by 255 and 63 in the software renderer's inner loops. The display device
// builds them once at the end of a successful start; afterwards they are read-only.
#pragma once

#include <stdint.h>

// [p][c] = trunc(c * p / 255), p and c in 0..255.
extern int32_t ParamScaleTable[256][256];
// [p][d + 255] = trunc(p * d / 255) toward zero, d in -255..255; rows are 512 entries apart, the last one unused.
extern int32_t ParamDiffTable[256][512];
// [k][a][b] = trunc((a * k + b * (63 - k)) / 63), k, a and b in 0..63.
extern uint8_t Lerp6Table[64][64][64];

// Fills the three tables. Returns 0.
int BuildSoftwareLookupTables();
