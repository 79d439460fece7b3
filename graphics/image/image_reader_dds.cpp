// DirectDraw surface reader: one uncompressed surface (no mipmaps), its layout given either by a Direct3D format
// number in the FourCC field or by the header's RGB bit count and masks. Rows are read straight at the header's
// pitch, which must hold a whole row; 8-bit colour layouts are handed out as palette images.
#include <string.h>

#include "graphics/image/image_reader.h"
#include "runtime/memory.h"

namespace {

constexpr int kHeaderSize = 124;
constexpr uint32_t kHeaderFlagPitch = 0x8;
constexpr uint32_t kPixelFlagFourCC = 0x4;
constexpr uint32_t kPixelFlagRgb = 0x40;

struct FourCCFormat {
    uint32_t code;
    int bits;
    uint32_t red, green, blue, alpha;
};

// The uncompressed Direct3D surface formats, by their format numbers.
const FourCCFormat kFourCCFormats[] = {
    {20, 24, 0xFF0000, 0xFF00, 0xFF, 0},                       // R8G8B8
    {21, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},             // A8R8G8B8
    {22, 32, 0xFF0000, 0xFF00, 0xFF, 0},                       // X8R8G8B8
    {23, 16, 0xF800, 0x7E0, 0x1F, 0},                          // R5G6B5
    {24, 16, 0x7C00, 0x3E0, 0x1F, 0},                          // X1R5G5B5
    {25, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},                     // A1R5G5B5
    {26, 16, 0xF00, 0xF0, 0xF, 0xF000},                        // A4R4G4B4
    {27, 8, 0xE0, 0x1C, 0x3, 0},                               // R3G3B2
    {29, 16, 0xE0, 0x1C, 0x3, 0xFF00},                         // A8R3G3B2
    {30, 16, 0xF00, 0xF0, 0xF, 0},                             // X4R4G4B4
    {31, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000u},         // A2B10G10R10
    {32, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u},             // A8B8G8R8
    {33, 32, 0xFF, 0xFF00, 0xFF0000, 0},                       // X8B8G8R8
    {35, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000u},         // A2R10G10B10
};

// An 8-bit direct-colour layout (R3G3B2 and the like) as a palette image: every pixel value becomes the index of
// the entry holding its colour, each channel scaled to the full 8-bit range. One-byte images are palette images
// throughout the graphics layer, so the values must not stay bare.
void MakePaletteOfLayout(ColorFormat* format, const uint32_t masks[4]) {
    ColorFormat layout;
    memset(&layout, 0, sizeof(layout));
    SetColorFormatFromMasksImpl(&layout, 8, masks[0], masks[1], masks[2], masks[3]);
    auto scaled = [](uint32_t value, uint32_t mask, int shift, int width) -> uint8_t {
        if (width == 0) return 0;
        return static_cast<uint8_t>(((value & mask) >> shift) * 255u / ((1u << width) - 1u));
    };
    SetPaletteColorFormat(format);
    for (uint32_t v = 0; v < 256; ++v) {
        format->palette[v] = ColorPaletteEntry{scaled(v, layout.blueMask, layout.blueShift, layout.blueWidth),
                                               scaled(v, layout.greenMask, layout.greenShift, layout.greenWidth),
                                               scaled(v, layout.redMask, layout.redShift, layout.redWidth), 0};
    }
}

}  // namespace

int ReadDdsImage(const ImageStream* stream, GraphImage* image) {
    uint8_t magic[4];
    uint8_t h[kHeaderSize];
    if (!ImageStreamReadExact(stream, magic, 4) || memcmp(magic, "DDS", 3) != 0) return -1;
    if (!ImageStreamReadExact(stream, h, kHeaderSize)) return -1;

    const uint32_t flags = ReadLE32(h + 4);
    const int32_t height = static_cast<int32_t>(ReadLE32(h + 8));
    const int32_t width = static_cast<int32_t>(ReadLE32(h + 12));
    const uint32_t headerPitch = ReadLE32(h + 16);
    const uint32_t pixelFlags = ReadLE32(h + 76);
    const uint32_t fourCC = ReadLE32(h + 80);

    int bits = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    if (pixelFlags == kPixelFlagFourCC) {
        for (const FourCCFormat& f : kFourCCFormats) {
            if (f.code == fourCC) {
                bits = f.bits;
                masks[0] = f.red;
                masks[1] = f.green;
                masks[2] = f.blue;
                masks[3] = f.alpha;
            }
        }
    } else if (pixelFlags & kPixelFlagRgb) {
        bits = static_cast<int>(ReadLE32(h + 84));
        for (int i = 0; i < 4; ++i) masks[i] = ReadLE32(h + 88 + 4 * i);
    }
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return -1;
    if (bits < 32) {
        for (uint32_t m : masks) {
            if (m >> bits) return -1;  // a mask outside the pixel
        }
    }

    const int64_t rowBytes = static_cast<int64_t>(bits / 8) * width;
    const int64_t pitch = (flags & kHeaderFlagPitch) ? static_cast<int64_t>(headerPitch) : rowBytes;
    if (pitch < rowBytes) return -1;
    if (!ImageSizeIsSane(width, height, pitch)) return -1;
    if (ImageStreamRemaining(stream) < pitch * height) return -1;

    void* pixels = AllocImagePixels(width, height, pitch);
    if (pixels == nullptr) return -1;
    if (!ImageStreamReadExact(stream, pixels, static_cast<size_t>(pitch * height))) {
        KV_FREE(pixels);
        return -1;
    }
    if (bits == 8) {
        MakePaletteOfLayout(&image->format, masks);
    } else {
        SetColorFormatFromMasksImpl(&image->format, bits, masks[0], masks[1], masks[2], masks[3]);
    }
    image->width = width;
    image->height = height;
    image->pitch = static_cast<int>(pitch);
    image->pixels = pixels;
    return 0;
}
