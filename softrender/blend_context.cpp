// Per-call preparation shared by the rasterisers: image checks, the clip rectangle and the blend context.
#include <algorithm>

#include "graphics/ddraw/blit2d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/color/lookup_tables.h"
#include "graphics/color/memimg.h"
#include "softrender/soft_common.h"

namespace soft {

void PrepareContext(BlendContext* c, int p, uint32_t colourScale) {
    *c = BlendContext{};
    p = std::clamp(p, 0, 255);
    c->p = static_cast<uint32_t>(p);
    c->paramRow = ParamScaleTable[p];
    c->scaleR = ParamScaleTable[(colourScale >> 16) & 255];
    c->scaleG = ParamScaleTable[(colourScale >> 8) & 255];
    c->scaleB = ParamScaleTable[colourScale & 255];
    c->diffRow = ParamDiffTable[p] + 255;
    c->lerpRow = &Lerp6Table[p >> 2][0][0];
    c->weights = BlendGraphWeightTable;
}

bool IsUsableImage(const MEMIMG* image) {
    if (image == nullptr || image->magic != kMemImgMagic || image->pixels == nullptr) return false;
    if (image->width <= 0 || image->height <= 0 || image->width > 65535 || image->height > 65535) return false;
    const int bytes = MemImageBytesPerPixel(image->pixelType, image->hasPalette, image->hasAlpha);
    return image->pitch >= static_cast<int64_t>(image->width) * bytes;
}

bool IsBlendDestination(const MEMIMG* image) {
    return IsUsableImage(image) && (image->pixelType == kMemImgColor16 || image->pixelType == kMemImgColor32) &&
           !image->hasPalette && !image->hasAlpha;
}

bool IsBlendSource(const MEMIMG* image) {
    if (!IsUsableImage(image)) return false;
    if (image->pixelType != kMemImgColor16 && image->pixelType != kMemImgColor32) return false;
    return !image->hasPalette || image->palette != nullptr;
}

bool MaskCovers(const MEMIMG* mask, int64_t width, int64_t height) {
    if (!IsUsableImage(mask) || mask->pixelType != kMemImgChannel8) return false;
    return width <= mask->width && height <= mask->height;
}

RECT ClipArea(const MEMIMG* image) {
    const RECT& a = GetDrawState().drawArea;
    RECT r = {std::max<LONG>(a.left, 0), std::max<LONG>(a.top, 0), std::min<LONG>(a.right, image->width),
              std::min<LONG>(a.bottom, image->height)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

BlendSettings ReadBlendSettings() {
    const DrawState& d = GetDrawState();
    BlendSettings s;
    s.mode = d.blendMode;
    s.p = std::clamp(d.blendParameter, 0, 255);
    s.colourScale = d.colorScale & 0xFFFFFF;
    s.white = IsWhite(s.colourScale);
    s.mmx = GetDisplayState().mmxAvailable == 1;
    return s;
}

void PrepareForSource(BlendContext* c, const BlendSettings& s, const MEMIMG* source, uint32_t key) {
    PrepareContext(c, s.p, s.colourScale);
    c->key = key;
    if (source != nullptr && source->hasPalette) c->palette = static_cast<const uint8_t*>(source->palette);
}

}  // namespace soft
