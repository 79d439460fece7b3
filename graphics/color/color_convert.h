// The one routine through which every change of pixel layout is made: image upload, back screen to window,
// movie frames, the mask screen and screen copies. Common pairs take dedicated row loops; everything else goes
// through a per-channel conversion with optional dithering.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "graphics/color/color_format.h"

// Dither kinds.
constexpr int kDitherNone = 0;
constexpr int kDitherOrdered = 1;
constexpr int kDitherErrorCarry = 2;

// Copies the rectangle `srcRect` (left, top, right, bottom; right and bottom exclusive) of the source into the
// destination at (dstX, dstY), converting the layout. The optional alpha image (alphaPixels null: none) is
// addressed with the source rectangle and gives the alpha of a destination with alpha when the source has none.
//   mirror        writes each row right to left
//   keyToAlpha    key-coloured pixels get alpha 0, the others full alpha (colorKey read as 0x00RRGGBB)
//   dither        kDitherNone, kDitherOrdered or kDitherErrorCarry where channels get narrower
//   zeroColor     red, green and blue are written as 0
//   alphaFromRed  the red value goes into the alpha channel
//   skipKey       destination pixels stay unchanged where the source pixel equals colorKey
// Returns 0; the largest index copied for a palette-to-palette copy; -1 for an empty rectangle, a palette
// destination fed from a source that is not 8-bit, or unusable arguments (which are logged).
int ColorFormatConvertBlt(void* dstPixels, int dstPitch, const ColorFormat* dstFormat, const void* srcPixels,
                          int srcPitch, const ColorFormat* srcFormat, const void* alphaPixels, int alphaPitch,
                          const ColorFormat* alphaFormat, int dstX, int dstY, const RECT* srcRect, int mirror,
                          int keyToAlpha, uint32_t colorKey, int dither, int zeroColor, int alphaFromRed,
                          int skipKey);
