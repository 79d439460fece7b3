// Row loops of the common conversions. Each has a portable form and vector forms (SSE2, and SSSE3 where byte
// shuffles pay) that give the same bits; the Fast entry takes the best form the processor has, the conversion
// routine calls it, and the tests hold every form against the portable one.
#pragma once

#include <stdint.h>

namespace convert_rows {

// The forms of the row loops, each needing the processor features of those before it.
enum RowPathKind { kRowPathPortable = 0, kRowPathSse2 = 1, kRowPathSsse3 = 2 };

// The best form this processor runs (asked through CPUID; portable when the build has no vector code).
int MachineRowPath();
// The form the Fast entries take now: the machine's best unless a test chose another.
int ActiveRowPath();
// Makes the Fast entries take `path` (held to what the machine runs), so tests can reach every form.
void ForceRowPathForTests(int path);

// The 4 x 4 ordered-dither matrix, indexed by (column & 3) + (row & 3) * 4.
extern const uint8_t kOrderedMatrix[16];

// R5G6B5 -> X8R8G8B8 by shifting (the top byte stays 0).
void Rgb565ToX888Portable(const uint16_t* src, uint32_t* dst, int count);
void Rgb565ToX888Fast(const uint16_t* src, uint32_t* dst, int count);

// X8R8G8B8 -> R5G6B5, dropping low bits.
void X888ToRgb565Portable(const uint32_t* src, uint16_t* dst, int count);
void X888ToRgb565Fast(const uint32_t* src, uint16_t* dst, int count);

// 8:8:8 in a 32-bit word -> R5G6B5 with the 4 x 4 ordered dither; `column` is the position of src[0] counted
// from the rectangle's first pixel and `row` the row counted likewise. Channels saturate at their maximum.
void X888ToRgb565OrderedPortable(const uint32_t* src, uint16_t* dst, int count, int column, int row);
void X888ToRgb565OrderedFast(const uint32_t* src, uint16_t* dst, int count, int column, int row);

// 8:8:8 in a 32-bit word -> R5G6B5 with the error carry: carry[0..2] hold the red, green and blue remainders and
// go on from row to row (zero at the start of a conversion). Channels saturate at their maximum.
void X888ToRgb565CarryPortable(const uint32_t* src, uint16_t* dst, int count, uint32_t carry[3]);
void X888ToRgb565CarryFast(const uint32_t* src, uint16_t* dst, int count, uint32_t carry[3]);

// R5G6B5 -> X1R5G5B5 (the top bit stays 0) and back (the 5-bit green's lowest bit is repeated below it).
void Rgb565To555Portable(const uint16_t* src, uint16_t* dst, int count);
void Rgb565To555Fast(const uint16_t* src, uint16_t* dst, int count);
void Rgb555To565Portable(const uint16_t* src, uint16_t* dst, int count);
void Rgb555To565Fast(const uint16_t* src, uint16_t* dst, int count);

// Key to alpha over 32-bit words of one layout: every bit outside rgbMask is set, then the alpha bits are cleared
// where the red, green and blue bits equal those of `key`, else left set.
void KeyToAlpha32Portable(const uint32_t* src, uint32_t* dst, int count, uint32_t rgbMask, uint32_t key,
                          uint32_t alphaMask);
void KeyToAlpha32Fast(const uint32_t* src, uint32_t* dst, int count, uint32_t rgbMask, uint32_t key,
                      uint32_t alphaMask);

// 24-bit blue, green, red pixels. Each pixel is read with one 4-byte load (the last of a row with three single
// bytes, so nothing past the row's pixels is read).
// -> 32-bit words: the colour bytes with 0xFF in the fourth byte; keyed, 0 there where the colour equals keyRgb.
void Rgb24To8888Row(const uint8_t* src, uint32_t* dst, int count, int keyed, uint32_t keyRgb);
// -> R5G6B5, dropping low bits.
void Rgb24To565Portable(const uint8_t* src, uint16_t* dst, int count);
void Rgb24To565Fast(const uint8_t* src, uint16_t* dst, int count);
// -> 1:5:5:5, dropping low bits, the top bit set; keyed, clear where the 5:5:5 value equals key555.
void Rgb24To1555Row(const uint8_t* src, uint16_t* dst, int count, int keyed, uint32_t key555);

// 1 when the Fast entries use vector code in this build.
int HasVectorRows();

}  // namespace convert_rows
