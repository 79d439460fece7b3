// The software renderer's blend tables: parameter scaling, signed-difference scaling and the 6-bit lerp.
#include "graphics/color/lookup_tables.h"

int32_t ParamScaleTable[256][256];
int32_t ParamDiffTable[256][512];
uint8_t Lerp6Table[64][64][64];

int BuildSoftwareLookupTables() {
    for (int p = 0; p < 256; ++p) {
        // C++ division truncates toward zero, which is what the negative differences need.
        for (int j = 0; j < 511; ++j) ParamDiffTable[p][j] = p * (j - 255) / 255;
        for (int c = 0; c < 256; ++c) ParamScaleTable[p][c] = c * p / 255;
    }
    for (int k = 0; k < 64; ++k) {
        for (int a = 0; a < 64; ++a) {
            for (int b = 0; b < 64; ++b) Lerp6Table[k][a][b] = static_cast<uint8_t>((a * k + b * (63 - k)) / 63);
        }
    }
    return 0;
}
