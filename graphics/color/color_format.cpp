// Filling ColorFormat records, single-value conversions between colours and pixel values, and the drawing format
// that colour lookups use. Bulk pixel conversion is in color_convert.cpp; the 8-bit screen palette is in
// color_format_palette.cpp.
#include "graphics/color/color_format.h"

#include <string.h>

#include "graphics/color/memimg.h"

namespace {

// Shift of the lowest set bit and the number of consecutive ones from there (0, 0 for an empty mask).
void MaskShiftWidth(uint32_t mask, uint8_t* shift, uint8_t* width) {
    if (mask == 0) {
        *shift = 0;
        *width = 0;
        return;
    }
    int s = 0;
    while (((mask >> s) & 1u) == 0) ++s;
    int w = 0;
    while (s + w < 32 && ((mask >> (s + w)) & 1u) != 0) ++w;
    *shift = static_cast<uint8_t>(s);
    *width = static_cast<uint8_t>(w);
}

uint32_t DepthMask(int bitDepth) {
    if (bitDepth >= 32) return 0xFFFFFFFFu;
    if (bitDepth <= 0) return 0;
    return (1u << bitDepth) - 1u;
}

// Fills widths and shifts of the four channels and of noneMask from the stored masks.
void FillShiftsAndWidths(ColorFormat* f) {
    MaskShiftWidth(f->redMask, &f->redShift, &f->redWidth);
    MaskShiftWidth(f->greenMask, &f->greenShift, &f->greenWidth);
    MaskShiftWidth(f->blueMask, &f->blueShift, &f->blueWidth);
    MaskShiftWidth(f->alphaMask, &f->alphaShift, &f->alphaWidth);
    MaskShiftWidth(f->noneMask, &f->noneShift, &f->noneWidth);
}

// An 8-bit channel value brought to `width` bits: narrower channels keep the top bits, wider ones are widened so
// that 255 becomes the channel's maximum.
uint32_t EightBitsToWidth(uint32_t v, int width) {
    v &= 0xFFu;
    if (width <= 0) return 0;
    if (width <= 8) return v >> (8 - width);
    const int k = width - 8;
    const uint64_t widened = (static_cast<uint64_t>(v) << k) + static_cast<uint64_t>(v) * ((1ull << k) - 1) / 255u;
    return static_cast<uint32_t>(widened);
}

// A channel field moved from one width to another by plain shifts.
uint32_t ShiftToWidth(uint32_t v, int fromWidth, int toWidth) {
    if (toWidth <= 0) return 0;
    if (toWidth >= fromWidth) {
        const int k = toWidth - fromWidth;
        return k >= 32 ? 0 : static_cast<uint32_t>(static_cast<uint64_t>(v) << k);
    }
    const int k = fromWidth - toWidth;
    return k >= 32 ? 0 : v >> k;
}

uint32_t FieldOf(uint32_t value, uint32_t mask, int shift) {
    return (value & mask) >> shift;
}

uint32_t PlaceField(uint32_t v, int shift, uint32_t mask) {
    return static_cast<uint32_t>(static_cast<uint64_t>(v) << shift) & mask;
}

ColorFormat MakeX8R8G8B8() {
    ColorFormat f = {};
    SetColorFormatFromMasksImpl(&f, 32, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0);
    return f;
}

DrawingFormatInfo g_drawing = {MakeX8R8G8B8(), 32, 0};

int NearestPaletteIndex(int red, int green, int blue) {
    const PALETTEENTRY* entries = GetScreenPaletteEntries();
    int best = 0xFFFFFF;
    int bestIndex = 0;
    for (int i = 0; i < 256; ++i) {
        const int dr = entries[i].peRed - red;
        const int dg = entries[i].peGreen - green;
        const int db = entries[i].peBlue - blue;
        const int d = dr * dr + dg * dg + db * db;
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return bestIndex;
}

}  // namespace

int SetColorFormatFromMasksImpl(ColorFormat* format, int bitDepth, uint32_t redMask, uint32_t greenMask,
                                uint32_t blueMask, uint32_t alphaMask) {
    format->bitDepth = static_cast<uint16_t>(bitDepth);
    format->bytesPerPixel = static_cast<uint16_t>(bitDepth / 8);
    format->redMask = redMask;
    format->greenMask = greenMask;
    format->blueMask = blueMask;
    format->alphaMask = alphaMask;
    format->noneMask = DepthMask(bitDepth) & ~(redMask | greenMask | blueMask | alphaMask);
    FillShiftsAndWidths(format);
    return 0;
}

int SetColorFormatFromDDPixelFormat(const DDPIXELFORMAT* ddpf, ColorFormat* format) {
    const int depth = static_cast<int>(ddpf->dwRGBBitCount & 0xFFu);
    format->bitDepth = static_cast<uint16_t>(depth);
    format->bytesPerPixel = static_cast<uint16_t>(depth >> 3);
    format->redMask = ddpf->dwRBitMask;
    format->greenMask = ddpf->dwGBitMask;
    format->blueMask = ddpf->dwBBitMask;
    format->alphaMask = ddpf->dwRGBAlphaBitMask;
    format->noneMask =
        DepthMask(depth) & ~(format->redMask | format->greenMask | format->blueMask | format->alphaMask);
    FillShiftsAndWidths(format);
    // Alpha and filler bits are optional; a layout without a colour channel is not one we can draw with.
    if (format->redMask == 0 || format->greenMask == 0 || format->blueMask == 0) return -1;
    return 0;
}

int FillDDPixelFormatImpl(DDPIXELFORMAT* ddpf, int bitCount, uint32_t redMask, uint32_t greenMask,
                          uint32_t blueMask, uint32_t alphaMask) {
    memset(ddpf, 0, sizeof(*ddpf));
    ddpf->dwSize = sizeof(DDPIXELFORMAT);
    ddpf->dwFlags = DDPF_RGB;
    ddpf->dwRGBBitCount = static_cast<DWORD>(bitCount);
    ddpf->dwRBitMask = redMask;
    ddpf->dwGBitMask = greenMask;
    ddpf->dwBBitMask = blueMask;
    ddpf->dwRGBAlphaBitMask = alphaMask;
    return 0;
}

void FixColorFormatNoneMask(ColorFormat* format) {
    format->noneMask = 0;
    const int widths = format->redWidth + format->greenWidth + format->blueWidth + format->alphaWidth;
    if (widths == format->bitDepth) return;
    format->noneMask = DepthMask(format->bitDepth) &
                       ~(format->redMask | format->greenMask | format->blueMask | format->alphaMask);
}

int IsColorFormatSame(const ColorFormat* a, const ColorFormat* b) {
    return a->bitDepth == b->bitDepth && a->redMask == b->redMask && a->greenMask == b->greenMask &&
                   a->blueMask == b->blueMask && a->alphaMask == b->alphaMask
               ? 1
               : 0;
}

namespace {

void SetEightBitLayout(ColorFormat* f) {
    f->bitDepth = 8;
    f->bytesPerPixel = 1;
    f->redMask = 0x00FF0000u;
    f->greenMask = 0x0000FF00u;
    f->blueMask = 0x000000FFu;
    f->alphaMask = 0;
    f->noneMask = 0xFF000000u;
    f->redWidth = f->greenWidth = f->blueWidth = 8;
    f->alphaWidth = 0;
    f->redShift = 16;
    f->greenShift = 8;
    f->blueShift = 0;
    f->alphaShift = 0;
}

}  // namespace

int SetPaletteColorFormat(ColorFormat* format) {
    SetEightBitLayout(format);
    return 0;
}

int SetGreyPaletteColorFormat(ColorFormat* format) {
    SetEightBitLayout(format);
    for (int i = 0; i < 256; ++i) {
        const uint8_t v = static_cast<uint8_t>(i);
        format->palette[i] = ColorPaletteEntry{v, v, v, 0};
    }
    return 0;
}

int SetRgb24ColorFormat(ColorFormat* format) {
    SetColorFormatFromMasksImpl(format, 24, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0);
    return 0;
}

uint32_t RgbaToFormatValue(const ColorFormat* format, int red, int green, int blue, int alpha) {
    uint32_t v = 0;
    v |= PlaceField(EightBitsToWidth(static_cast<uint32_t>(red), format->redWidth), format->redShift,
                    format->redMask);
    v |= PlaceField(EightBitsToWidth(static_cast<uint32_t>(green), format->greenWidth), format->greenShift,
                    format->greenMask);
    v |= PlaceField(EightBitsToWidth(static_cast<uint32_t>(blue), format->blueWidth), format->blueShift,
                    format->blueMask);
    if (format->alphaMask != 0) {
        v |= PlaceField(EightBitsToWidth(static_cast<uint32_t>(alpha), format->alphaWidth), format->alphaShift,
                        format->alphaMask);
    }
    return v | format->noneMask;
}

uint32_t ConvertFormatValue(const ColorFormat* dstFormat, const ColorFormat* srcFormat, uint32_t value) {
    const ColorFormat& d = *dstFormat;
    const ColorFormat& s = *srcFormat;
    const uint32_t r = ShiftToWidth(FieldOf(value, s.redMask, s.redShift), s.redWidth, d.redWidth);
    const uint32_t g = ShiftToWidth(FieldOf(value, s.greenMask, s.greenShift), s.greenWidth, d.greenWidth);
    const uint32_t b = ShiftToWidth(FieldOf(value, s.blueMask, s.blueShift), s.blueWidth, d.blueWidth);
    uint32_t a;
    if (s.alphaMask == 0) {
        a = d.alphaMask >> d.alphaShift;
    } else {
        a = ShiftToWidth(FieldOf(value, s.alphaMask, s.alphaShift), s.alphaWidth, d.alphaWidth);
    }
    return PlaceField(r, d.redShift, d.redMask) | PlaceField(g, d.greenShift, d.greenMask) |
           PlaceField(b, d.blueShift, d.blueMask) | PlaceField(a, d.alphaShift, d.alphaMask) | d.noneMask;
}

DrawingFormatInfo& GetDrawingFormatInfo() {
    return g_drawing;
}

void ResetDrawingFormatInfo() {
    g_drawing.screenFormat = MakeX8R8G8B8();
    g_drawing.imageColorBits = 32;
    g_drawing.memImgDrawing = 0;
}

const ColorFormat* GetDrawingColorFormat() {
    if (g_drawing.memImgDrawing) {
        const ColorFormat* f = GetMemImageColorFormat(g_drawing.imageColorBits == 16 ? 0 : 1, 0, 0);
        if (f != nullptr) return f;
    }
    return &g_drawing.screenFormat;
}

uint32_t RgbToScreenPixelImpl(int red, int green, int blue) {
    red &= 0xFF;
    green &= 0xFF;
    blue &= 0xFF;
    if (g_drawing.screenFormat.bitDepth == 8) return static_cast<uint32_t>(NearestPaletteIndex(red, green, blue));
    return RgbaToFormatValue(GetDrawingColorFormat(), red, green, blue, 0);
}

int ScreenPixelToRgb(uint32_t value, int* red, int* green, int* blue) {
    if (g_drawing.screenFormat.bitDepth == 8) {
        if (value > 255) return -1;
        const PALETTEENTRY& e = GetScreenPaletteEntries()[value];
        *red = e.peRed;
        *green = e.peGreen;
        *blue = e.peBlue;
        return 0;
    }
    const ColorFormat& f = *GetDrawingColorFormat();
    auto scale = [value](uint32_t mask, int shift, int width) -> int {
        if (width <= 0) return 0;
        const uint64_t maxField = (width >= 32 ? 0x100000000ull : (1ull << width)) - 1;
        return static_cast<int>(static_cast<uint64_t>(FieldOf(value, mask, shift)) * 255u / maxField);
    };
    *red = scale(f.redMask, f.redShift, f.redWidth);
    *green = scale(f.greenMask, f.greenShift, f.greenWidth);
    *blue = scale(f.blueMask, f.blueShift, f.blueWidth);
    return 0;
}
