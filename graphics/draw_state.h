// The one set of drawing settings every renderer reads (target, draw area, blend mode and blend graph, colour
// scale, mask flags, transparent colour, transforms). Graph management zeroes it at start; the draw entries and
// their setters write it; the 2D back end, the Direct3D back end, fonts and the software renderer read it.
#pragma once

#include <windows.h>

// The system headers name a GDI call DrawState through a macro; the record below takes the name.
#ifdef DrawState
#undef DrawState
#endif

struct DrawState {
    int target;             // -2 back screen, -4 front screen, or a graph handle
    RECT windowDrawRect;    // client rectangle on the screen while the front screen is drawn in a window, else 0
    RECT drawArea;          // right and bottom exclusive
    float drawAreaF[4];     // the same as floats: left, top, right, bottom
    int targetWidth, targetHeight;
    int zTest, zWrite, zCompare, cullMode;
    unsigned int filterMode;
    unsigned int blendMode;  // 0 copy, 1 alpha, 2 add, 3 subtract, 4 multiply (5: Direct3D add)
    int blendParameter;      // 0..255
    int blendGraph;          // graph handle or -1
    int blendGraphBorder, blendGraphRange;  // 0..255 each
    unsigned int colorScale;                // 0x00RRGGBB, 0xFFFFFF draws pixels unchanged
    int maskPresent, maskDrawRequested, maskDrawActive;
    unsigned int transparentColor;  // 0x00RRGGBB
    int areaEmpty;
    float world[16], view[16], projection[16], viewport[16], product[16], viewRotation[9];
};

DrawState& GetDrawState();
// Zero-fills the whole record (graph management's start does this before setting its defaults).
void ZeroDrawState();
