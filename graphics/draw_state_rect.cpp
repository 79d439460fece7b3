// Rectangle helpers of the draw state: the clip every draw entry and the software renderer run against the draw
// area, corner ordering and sizes. They take no lock: the font and renderer code call them while holding it.
#include "graphics/draw.h"

namespace {
LONG ClampInto(LONG value, LONG low, LONG high) {
    if (value > high) return high;
    if (value < low) return low;
    return value;
}
}  // namespace

int ClipRectImpl(RECT* rect, const RECT* clip) {
    if (rect->right < rect->left) rect->right = rect->left;
    if (rect->bottom < rect->top) rect->bottom = rect->top;
    // Far edges first: a rectangle wholly outside collapses onto one edge of the clip.
    rect->bottom = ClampInto(rect->bottom, clip->top, clip->bottom);
    rect->top = ClampInto(rect->top, clip->top, clip->bottom);
    rect->right = ClampInto(rect->right, clip->left, clip->right);
    rect->left = ClampInto(rect->left, clip->left, clip->right);
    return 0;
}

void OrderRectCorners(RECT* rect) {
    if (rect->left > rect->right) {
        const LONG t = rect->left;
        rect->left = rect->right;
        rect->right = t;
    }
    if (rect->top > rect->bottom) {
        const LONG t = rect->top;
        rect->top = rect->bottom;
        rect->bottom = t;
    }
}

void GetRectSize(const RECT* rect, int* width, int* height) {
    if (width != nullptr) *width = rect->right - rect->left;
    if (height != nullptr) *height = rect->bottom - rect->top;
}
