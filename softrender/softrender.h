// The software renderer's image copies, rectangle fill and lines as the graphics layer calls them. They draw onto
// software images (the software screens, or DirectDraw surfaces locked and wrapped as images) with the drawing
// settings of the draw state.
#pragma once

#include <windows.h>
#include <stdint.h>

struct MEMIMG;

// One line of a line list: 24 bytes, six signed 32-bit fields.
struct SoftLineRecord {
    int32_t x1, y1, x2, y2;
    int32_t colour;
    int32_t parameter;  // written by callers, not used in drawing
};
static_assert(sizeof(SoftLineRecord) == 24, "line records are 24 bytes");

// Draws the whole source image with its top-left corner at (x, y) onto the destination, clipped to the draw area;
// with `transparent`, source pixels equal to the source's colour key are skipped. 0.
int SoftBlit(MEMIMG* destination, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendGraph);
// Fills the rectangle (null: the whole image) with a pixel value of the image's own format. 0.
int SoftFillRect(MEMIMG* image, const RECT* rect, uint32_t colour);
// Draws the records as lines onto the image. 0.
int SoftDrawLines(MEMIMG* image, const SoftLineRecord* records, int count);
