// The software renderer's entries in their least form until the renderer is built: the plain copy (copy mode, or
// alpha at full strength, with an untouched colour scale, no blend graph and no source alpha) and the plain fill are
// done here, because the 2D back end sends every copy between unlike memories through them; every blended draw and
// every line is left undrawn. Each function leaves this file when the renderer implements it.
#include <algorithm>
#include <cstring>

#include "graphics/color/color_format.h"
#include "graphics/draw_state.h"
#include "graphics/color/memimg.h"
#include "softrender/softrender.h"

namespace {

bool IsPlainCopy() {
    const DrawState& s = GetDrawState();
    const bool copyMode = s.blendMode == 0 || (s.blendMode == 1 && s.blendParameter == 255);
    return copyMode && (s.colorScale & 0xFFFFFF) == 0xFFFFFF && s.blendGraph == -1;
}

bool Usable(const MEMIMG* image) {
    return image != nullptr && image->magic == kMemImgMagic && image->pixels != nullptr && image->format != nullptr;
}

}  // namespace

int SoftBlit(MEMIMG* destination, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendGraph) {
    if (!Usable(destination) || !Usable(source) || blendGraph != nullptr || !IsPlainCopy()) return 0;
    if (source->hasAlpha || destination->hasAlpha || destination->hasPalette || source->hasPalette) return 0;
    if (!IsColorFormatSame(destination->format, source->format)) return 0;
    const RECT& area = GetDrawState().drawArea;
    const int left = std::max({x, static_cast<int>(area.left), 0});
    const int top = std::max({y, static_cast<int>(area.top), 0});
    const int right = std::min({x + source->width, static_cast<int>(area.right), destination->width});
    const int bottom = std::min({y + source->height, static_cast<int>(area.bottom), destination->height});
    if (left >= right || top >= bottom) return 0;
    const int bytes = destination->format->bytesPerPixel;
    for (int row = top; row < bottom; ++row) {
        uint8_t* d = destination->pixels + static_cast<ptrdiff_t>(row) * destination->pitch +
                     static_cast<ptrdiff_t>(left) * bytes;
        const uint8_t* s = source->pixels + static_cast<ptrdiff_t>(row - y) * source->pitch +
                           static_cast<ptrdiff_t>(left - x) * bytes;
        if (!transparent) {
            std::memcpy(d, s, static_cast<size_t>(right - left) * bytes);
            continue;
        }
        for (int col = left; col < right; ++col, d += bytes, s += bytes) {
            uint32_t value = 0;
            std::memcpy(&value, s, bytes);
            if (value != source->colorKey) std::memcpy(d, s, bytes);
        }
    }
    return 0;
}

int SoftFillRect(MEMIMG* image, const RECT* rect, uint32_t colour) {
    if (!Usable(image) || !IsPlainCopy()) return 0;
    FillMemImageRect(image, rect, colour);
    return 0;
}

int SoftDrawLines(MEMIMG*, const SoftLineRecord*, int) { return 0; }

// Stretched, rotated and four-point drawing of 2D graphs and the software boxes are the renderer's own work: until
// it is built they draw nothing.
int DrawImageScaled(int, int, int, int, const GraphRecord*, int, int, int) { return 0; }
int DrawFilledBox(int, int, int, int, int) { return 0; }
int DrawBoxOutline(int, int, int, int, int) { return 0; }
int DrawImageRotated(float, float, double, double, const GraphRecord*, int, int) { return 0; }
int DrawImageFourPoints(float, float, float, float, float, float, float, float, const GraphRecord*, int) { return 0; }
