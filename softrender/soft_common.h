// What every software rasteriser shares: the checks an image must pass before it is drawn into or read, the clip
// rectangle (the draw area within the destination's own bounds) and the blend settings read once per call.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "softrender/blend_rules.h"

struct MEMIMG;

namespace soft {

// An initialised image with pixels, a sane size and a pitch that holds its rows.
bool IsUsableImage(const MEMIMG* image);
// A destination the blend rules may write: usable, 16- or 32-bit colour, without palette or alpha.
bool IsBlendDestination(const MEMIMG* image);
// A source whose pixel layout matches what the source readers expect.
bool IsBlendSource(const MEMIMG* image);
// A blend mask (one byte per pixel) that covers columns 0..width-1 and rows 0..height-1.
bool MaskCovers(const MEMIMG* mask, int64_t width, int64_t height);

// The draw area clipped to the image's own bounds; may be empty.
RECT ClipArea(const MEMIMG* image);

// The blend settings of the draw state, read once per call.
struct BlendSettings {
    unsigned mode;
    int p;
    uint32_t colourScale;
    bool white;
    int mmx;
};
BlendSettings ReadBlendSettings();

// A context for the settings: tables, parameter, weights; key and palette from the source when given.
void PrepareForSource(BlendContext* c, const BlendSettings& s, const MEMIMG* source, uint32_t key);


}  // namespace soft

// The box the rotated copy scans (its corners' box, two pixels more before and four after) for a source of the
// size; false when the copy would draw nothing whatever the clip.
bool SoftRotatedBox(int width, int height, int centreX, int centreY, float angle, float scale, RECT* box);
