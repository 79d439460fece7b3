// Shared by the colour-format, conversion and software-image tests: a ColorFormat made from a depth and four masks.
#pragma once

#include <string.h>

#include "graphics/color/color_format.h"

// Every byte starts as 0xCD, so a field the fill leaves unset shows up in the tests that read it.
inline ColorFormat Masks(int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    ColorFormat f;
    memset(&f, 0xCD, sizeof(f));
    SetColorFormatFromMasksImpl(&f, depth, r, g, b, a);
    return f;
}
