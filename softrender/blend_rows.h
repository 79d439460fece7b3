// Whole-row loops of the same-size copy's commonest variants in 32-bit and 16-bit colour (no blend mask, white
// colour scale, source without alpha; no key but for the keyed copies). Each has a portable form that defines the
// result and an SSE2 form that must give the same bytes; the copy calls the Fast entry, which the benchmark and
// the tests can switch to the portable form.
#pragma once

#include <stdint.h>

namespace soft_rows {

// Per channel (d x (256 - p) + s x p) >> 8, byte 3 of the destination kept.
void Alpha32Portable(uint8_t* d, const uint8_t* s, int count, uint32_t p);
void Alpha32Fast(uint8_t* d, const uint8_t* s, int count, uint32_t p);
// ((s >> 1) AND 0x7F7F7F) + ((d >> 1) AND 0x7F7F7F) on whole pixels.
void Average32Portable(uint8_t* d, const uint8_t* s, int count);
void Average32Fast(uint8_t* d, const uint8_t* s, int count);
// Every byte, byte 3 included, added or subtracted with unsigned saturation.
void AddSat32Portable(uint8_t* d, const uint8_t* s, int count);
void AddSat32Fast(uint8_t* d, const uint8_t* s, int count);
void SubSat32Portable(uint8_t* d, const uint8_t* s, int count);
void SubSat32Fast(uint8_t* d, const uint8_t* s, int count);
// The carry-mask add without the low-bit OR term, and the subtract with the source masked by 0x00FEFEFF.
void AddReduced32Portable(uint8_t* d, const uint8_t* s, int count);
void AddReduced32Fast(uint8_t* d, const uint8_t* s, int count);
void SubReduced32Portable(uint8_t* d, const uint8_t* s, int count);
void SubReduced32Fast(uint8_t* d, const uint8_t* s, int count);

// Source pixels unequal to the key stored whole, the others left as they were.
void KeyCopy32Portable(uint8_t* d, const uint8_t* s, int count, uint32_t key);
void KeyCopy32Fast(uint8_t* d, const uint8_t* s, int count, uint32_t key);
void KeyCopy16Portable(uint8_t* d, const uint8_t* s, int count, uint32_t key);
void KeyCopy16Fast(uint8_t* d, const uint8_t* s, int count, uint32_t key);

// R5G6B5. Per field Lerp6Table[p >> 2][s][d], the 64-level alpha of the normal-path copy.
void Lerp16Portable(uint8_t* d, const uint8_t* s, int count, uint32_t p);
void Lerp16Fast(uint8_t* d, const uint8_t* s, int count, uint32_t p);
// ((s >> 1) AND 0x7BEF) + ((d >> 1) AND 0x7BEF).
void Average16Portable(uint8_t* d, const uint8_t* s, int count);
void Average16Fast(uint8_t* d, const uint8_t* s, int count);
// The add and subtract at p = 255 on pixel pairs from the row's first pixel on (the pair's carries), an odd last
// pixel with the one-pixel formula without the add's low-bit OR term.
void AddPairs16Portable(uint8_t* d, const uint8_t* s, int count);
void AddPairs16Fast(uint8_t* d, const uint8_t* s, int count);
void SubPairs16Portable(uint8_t* d, const uint8_t* s, int count);
void SubPairs16Fast(uint8_t* d, const uint8_t* s, int count);

// 1 when the Fast entries use vector code (built with SSE2 and not switched off).
int VectorRowsOn();
// Switches the Fast entries to the portable loops (0) or back (1); for the benchmark's comparison.
void SetVectorRows(int on);

}  // namespace soft_rows
