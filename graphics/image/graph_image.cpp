// Small operations on decoded images: making a blank 24-bit one, freeing, filling with a colour, reading one
// pixel back as 0xAARRGGBB and mirroring rows in place. Used by the loaders, the screen mask and start-up's
// first drawing.
#include <string.h>

#include "graphics/image/image.h"
#include "graphics/image/image_reader.h"
#include "runtime/memory.h"

namespace {

// A channel value of `width` bits scaled to 8 bits. Channels wider than 8 bits keep their top 8 bits.
uint32_t ChannelTo8(uint32_t value, uint32_t mask, int shift, int width) {
    if (width == 0) return 0;
    const uint32_t v = (value & mask) >> shift;
    return width <= 8 ? (v << (8 - width)) & 0xFF : (v >> (width - 8)) & 0xFF;
}

uint32_t LoadPixel(const uint8_t* p, int bytes) {
    switch (bytes) {
        case 2: return ReadLE16(p);
        case 3: return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                       (static_cast<uint32_t>(p[2]) << 16);
        default: return ReadLE32(p);
    }
}

void StorePixel(uint8_t* p, int bytes, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    if (bytes >= 3) p[2] = static_cast<uint8_t>(v >> 16);
    if (bytes == 4) p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

int CreateGraphImage(int width, int height, GraphImage* image) {
    memset(image, 0, sizeof(*image));
    const int64_t pitch = ((static_cast<int64_t>(width) * 3) + 3) & ~static_cast<int64_t>(3);
    void* pixels = AllocImagePixels(width, height, pitch);
    if (pixels == nullptr) return -1;
    SetRgb24ColorFormat(&image->format);
    image->width = width;
    image->height = height;
    image->pitch = static_cast<int>(pitch);
    image->pixels = pixels;
    return 0;
}

void ReleaseGraphImage(GraphImage* image) {
    if (image == nullptr) return;
    if (image->pixels != nullptr) KV_FREE(image->pixels);
    memset(image, 0, sizeof(*image));
}

void ReleaseLoadedGraphImage(GraphImage* image) {
    ReleaseGraphImage(image);
}

int FillGraphImage(GraphImage* image, int red, int green, int blue, int alpha) {
    if (image == nullptr || image->pixels == nullptr) return -1;
    const int bytes = image->format.bytesPerPixel;
    if (bytes < 2 || bytes > 4) return 0;
    const uint32_t value = RgbaToFormatValue(&image->format, red, green, blue, alpha);
    uint8_t* row = static_cast<uint8_t*>(image->pixels);
    for (int y = 0; y < image->height; ++y, row += image->pitch) {
        uint8_t* p = row;
        for (int x = 0; x < image->width; ++x, p += bytes) StorePixel(p, bytes, value);
    }
    return 0;
}

unsigned int GetGraphImagePixel(const GraphImage* image, int x, int y) {
    if (image == nullptr || image->pixels == nullptr) return 0;
    if (x < 0 || y < 0 || x >= image->width || y >= image->height) return 0;
    const ColorFormat& f = image->format;
    const int bytes = f.bytesPerPixel;
    if (bytes < 2 || bytes > 4) return 0;
    const uint8_t* p = static_cast<const uint8_t*>(image->pixels) + static_cast<size_t>(y) * image->pitch +
                       static_cast<size_t>(x) * bytes;
    const uint32_t v = LoadPixel(p, bytes);
    uint32_t colour = (ChannelTo8(v, f.redMask, f.redShift, f.redWidth) << 16) |
                      (ChannelTo8(v, f.greenMask, f.greenShift, f.greenWidth) << 8) |
                      ChannelTo8(v, f.blueMask, f.blueShift, f.blueWidth);
    if (f.alphaMask != 0) colour |= ChannelTo8(v, f.alphaMask, f.alphaShift, f.alphaWidth) << 24;
    return colour;
}

int MirrorGraphImage(GraphImage* image) {
    if (image == nullptr || image->pixels == nullptr || image->width <= 0 || image->height <= 0) return -1;
    const int bytes = image->format.bytesPerPixel;
    if (bytes < 1 || bytes > 4) return -1;
    uint8_t* row = static_cast<uint8_t*>(image->pixels);
    for (int y = 0; y < image->height; ++y, row += image->pitch) {
        uint8_t* left = row;
        uint8_t* right = row + static_cast<size_t>(image->width - 1) * bytes;
        while (left < right) {
            uint8_t t[4];
            memcpy(t, left, bytes);
            memcpy(left, right, bytes);
            memcpy(right, t, bytes);
            left += bytes;
            right -= bytes;
        }
    }
    return 0;
}
