// Software images: initialisation with the pitch rule, views, release, fills, format-converting copies in and out,
// the shared layout records of the pixel types, and the premultiplied plane and transparent-run table that the
// software renderer reads.
#include "graphics/color/memimg.h"

#include <limits.h>
#include <string.h>

#include "graphics/color/color_convert.h"
#include "runtime/log.h"
#include "runtime/memory.h"

namespace {

MemImgAllocFunction g_allocate = TrackedAlloc;

struct FormatCache {
    bool built = false;
    ColorFormat colour[2][2][2];  // [type 0/1][alpha][palette]
    ColorFormat channel8;
    ColorFormat depth16;
    DDPIXELFORMAT ddColour[2][2][2];
    DDPIXELFORMAT ddChannel8;
    DDPIXELFORMAT ddDepth16;
};

void FillSingleChannel(ColorFormat* f, int depth, uint32_t mask) {
    memset(f, 0, sizeof(*f));
    f->bitDepth = static_cast<uint16_t>(depth);
    f->bytesPerPixel = static_cast<uint16_t>(depth / 8);
    f->redWidth = f->greenWidth = f->blueWidth = f->alphaWidth = static_cast<uint8_t>(depth);
    f->redMask = f->greenMask = f->blueMask = f->alphaMask = mask;
}

void FillSingleChannelDD(DDPIXELFORMAT* p, int depth, uint32_t mask) {
    memset(p, 0, sizeof(*p));
    p->dwRGBBitCount = static_cast<DWORD>(depth);
    p->dwRBitMask = p->dwGBitMask = p->dwBBitMask = p->dwRGBAlphaBitMask = mask;
}

// Built on first request, then read-only for the life of the process.
FormatCache& Formats() {
    static FormatCache cache;
    if (!cache.built) {
        static const uint32_t kMasks[2][4] = {{0xF800u, 0x07E0u, 0x001Fu, 0x00FF0000u},
                                              {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}};
        for (int type = 0; type < 2; ++type) {
            for (int alpha = 0; alpha < 2; ++alpha) {
                for (int palette = 0; palette < 2; ++palette) {
                    const int depth = palette ? 8 : (type == 1 || alpha ? 32 : 16);
                    const uint32_t alphaMask = alpha ? kMasks[type][3] : 0;
                    ColorFormat& f = cache.colour[type][alpha][palette];
                    memset(&f, 0, sizeof(f));
                    SetColorFormatFromMasksImpl(&f, depth, kMasks[type][0], kMasks[type][1], kMasks[type][2],
                                                alphaMask);
                    FillDDPixelFormatImpl(&cache.ddColour[type][alpha][palette], depth, kMasks[type][0],
                                          kMasks[type][1], kMasks[type][2], alphaMask);
                }
            }
        }
        FillSingleChannel(&cache.channel8, 8, 0xFFu);
        FillSingleChannel(&cache.depth16, 16, 0xFFFFu);
        FillSingleChannelDD(&cache.ddChannel8, 8, 0xFFu);
        FillSingleChannelDD(&cache.ddDepth16, 16, 0xFFFFu);
        cache.built = true;
    }
    return cache;
}

int BytesOf(const MEMIMG* image) {
    return image->format != nullptr ? image->format->bytesPerPixel : 0;
}

// Clips `r` to (0, 0, width, height) the way the draw area is clipped: an inverted rectangle first becomes empty,
// then each edge is clamped; a rectangle wholly outside ends empty.
RECT ClipToImage(RECT r, int width, int height) {
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    auto clamp = [](LONG v, LONG lo, LONG hi) { return v < lo ? lo : (v > hi ? hi : v); };
    r.bottom = clamp(r.bottom, 0, height);
    r.top = clamp(r.top, 0, height);
    r.right = clamp(r.right, 0, width);
    r.left = clamp(r.left, 0, width);
    return r;
}

void WritePaletteFromFormat(MEMIMG* image, const ColorFormat* source) {
    if (image->palette == nullptr) return;
    const int bytes = image->pixelType == kMemImgColor16 ? 512 : 1024;
    for (int i = 0; i < 256; ++i) {
        const ColorPaletteEntry& e = source->palette[i];
        if (image->pixelType == kMemImgColor16) {
            const uint16_t v = static_cast<uint16_t>(((e.red >> 3) << 11) | ((e.green >> 2) << 5) | (e.blue >> 3));
            memcpy(static_cast<uint8_t*>(image->palette) + 2 * i, &v, 2);
        } else {
            const uint32_t v = (static_cast<uint32_t>(e.red) << 16) | (static_cast<uint32_t>(e.green) << 8) | e.blue;
            memcpy(static_cast<uint8_t*>(image->palette) + 4 * i, &v, 4);
        }
    }
    if (image->paletteCopy != nullptr) memcpy(image->paletteCopy, image->palette, bytes);
}

// The layout through which a palette image's pixels are read as colours: its own palette as 0x00RRGGBB entries.
void PaletteFormatOf(const MEMIMG* image, ColorFormat* out) {
    memset(out, 0, sizeof(*out));
    SetPaletteColorFormat(out);
    if (image->palette == nullptr) return;
    for (int i = 0; i < 256; ++i) {
        uint8_t r, g, b;
        if (image->pixelType == kMemImgColor16) {
            uint16_t v;
            memcpy(&v, static_cast<const uint8_t*>(image->palette) + 2 * i, 2);
            const uint32_t r5 = v >> 11, g6 = (v >> 5) & 0x3F, b5 = v & 0x1F;
            r = static_cast<uint8_t>((r5 << 3) | (r5 >> 2));
            g = static_cast<uint8_t>((g6 << 2) | (g6 >> 4));
            b = static_cast<uint8_t>((b5 << 3) | (b5 >> 2));
        } else {
            uint32_t v;
            memcpy(&v, static_cast<const uint8_t*>(image->palette) + 4 * i, 4);
            r = static_cast<uint8_t>(v >> 16);
            g = static_cast<uint8_t>(v >> 8);
            b = static_cast<uint8_t>(v);
        }
        out->palette[i] = ColorPaletteEntry{b, g, r, 0};
    }
}

bool IsUsable(const MEMIMG* image) {
    return image != nullptr && image->magic == kMemImgMagic && image->pixels != nullptr && image->format != nullptr;
}

}  // namespace

int CopyRectLeavesImage(int x, int y, int width, int height, int imageWidth, int imageHeight) {
    if (width <= 0 || height <= 0) return 0;
    return x < 0 || y < 0 || static_cast<int64_t>(x) + width > imageWidth ||
                   static_cast<int64_t>(y) + height > imageHeight
               ? 1
               : 0;
}

int RefuseCopyRect() {
    return WriteLog("転送矩形が画像の外にはみ出しています\n");
}

void SetMemImageAllocator(MemImgAllocFunction allocate) {
    g_allocate = allocate != nullptr ? allocate : TrackedAlloc;
}

int MemImageBytesPerPixel(int pixelType, int palette, int alpha) {
    if (pixelType == kMemImgChannel8 || pixelType == kMemImgDepth16) return pixelType == kMemImgChannel8 ? 1 : 2;
    if (palette) return 1;
    if (pixelType == kMemImgColor16) return alpha ? 4 : 2;
    return 4;
}

int InitMemImage(MEMIMG* image, int width, int height, int pitch, uint32_t colorKey, int pixelType, int palette,
                 int alpha, int allocExtras) {
    if (image->magic == kMemImgMagic) return -1;
    if (width < 0 || height < 0 || pixelType < 0 || pixelType > 3) {
        return WriteLog("MEMIMG の初期化パラメータが不正です\n");
    }
    palette = palette != 0;
    alpha = alpha != 0;
    if (palette) alpha = 0;
    if (pixelType == kMemImgChannel8 || pixelType == kMemImgDepth16) palette = alpha = 0;

    const int bytes = MemImageBytesPerPixel(pixelType, palette, alpha);
    const int64_t rowBytes = static_cast<int64_t>(bytes) * width;
    int64_t storedPitch;
    int64_t shiftBase;
    if (pitch == -1) {
        storedPitch = (rowBytes + 15) & ~static_cast<int64_t>(15);
        shiftBase = rowBytes;
    } else {
        if (pitch < rowBytes) return WriteLog("MEMIMG のピッチが横幅に足りません\n");
        storedPitch = pitch;
        shiftBase = pitch;
    }
    const int64_t total = storedPitch * height;
    const int64_t runBytes = (static_cast<int64_t>(width) + 5) * height;
    if (storedPitch > INT_MAX || total > INT_MAX || runBytes > INT_MAX) {
        return WriteLog("MEMIMG のサイズが大きすぎます\n");
    }
    int64_t power = 1;
    int log2 = 0;
    while (power < shiftBase) {
        power <<= 1;
        ++log2;
    }

    // Allocate first, so that a failure leaves the record as it was and gives back what this call took.
    uint8_t* pixels = image->pixels;
    const bool borrowed = pixels != nullptr;
    uint8_t* ownedPixels = nullptr;
    uint8_t* premultiplied = image->premultiplied;
    uint8_t* ownedPremultiplied = nullptr;
    uint8_t* runTable = image->runTable;
    uint8_t* ownedRunTable = nullptr;
    if (!borrowed) {
        ownedPixels = static_cast<uint8_t*>(g_allocate(static_cast<size_t>(total), "", __LINE__));
        if (ownedPixels == nullptr) return -1;
        pixels = ownedPixels;
    }
    if (alpha && allocExtras && premultiplied == nullptr) {
        ownedPremultiplied = static_cast<uint8_t*>(g_allocate(static_cast<size_t>(total), "", __LINE__));
        if (ownedPremultiplied == nullptr) {
            TrackedFree(ownedPixels);
            return -1;
        }
        premultiplied = ownedPremultiplied;
    }
    if (pixelType != kMemImgChannel8 && allocExtras && runTable == nullptr) {
        ownedRunTable = static_cast<uint8_t*>(g_allocate(static_cast<size_t>(runBytes), "", __LINE__));
        if (ownedRunTable == nullptr) {
            TrackedFree(ownedPremultiplied);
            TrackedFree(ownedPixels);
            return -1;
        }
        runTable = ownedRunTable;
    }

    image->width = width;
    image->height = height;
    image->colorKey = colorKey;
    image->pixelType = pixelType;
    image->hasPalette = palette;
    image->hasAlpha = alpha;
    image->palette = image->paletteTable;
    image->paletteCopy = image->paletteCopyTable;
    image->premultipliedValid = 0;
    image->runTableValid = 0;
    image->pitch = static_cast<int32_t>(storedPitch);
    image->pitchShift = power == storedPitch ? log2 : -1;
    image->format = GetMemImageColorFormat(pixelType, alpha, palette);
    image->pixels = pixels;
    image->pixelsNotOwned = borrowed ? 1 : 0;
    image->premultiplied = premultiplied;
    image->runTable = runTable;
    image->magic = kMemImgMagic;
    return 0;
}

int InitMemImageDefault(MEMIMG* image, int width, int height, int pixelType) {
    memset(image, 0, sizeof(*image));
    if (pixelType == -1) pixelType = GetDrawingFormatInfo().imageColorBits == 16 ? kMemImgColor16 : kMemImgColor32;
    return InitMemImage(image, width, height, -1, 0, pixelType, 0, 0, 0);
}

int InitMemImageType3(MEMIMG* image, int width, int height) {
    memset(image, 0, sizeof(*image));
    return InitMemImage(image, width, height, -1, 0, kMemImgDepth16, 0, 0, 0);
}

MEMIMG* DeriveMemImage(MEMIMG* view, const MEMIMG* parent, int x, int y, int width, int height) {
    view->magic = kMemImgMagic;
    view->width = width;
    view->height = height;
    view->pitch = parent->pitch;
    view->pitchShift = parent->pitchShift;
    view->format = parent->format;
    view->colorKey = parent->colorKey;
    view->pixelType = parent->pixelType;
    view->hasPalette = parent->hasPalette;
    view->paletteCount = parent->paletteCount;
    view->hasAlpha = parent->hasAlpha;
    view->premultipliedValid = 0;
    view->runTableValid = 0;
    view->pixelsNotOwned = 0;
    view->palette = parent->palette;
    view->paletteCopy = parent->paletteCopy;
    view->pixels = parent->pixels + static_cast<ptrdiff_t>(x) * BytesOf(parent) +
                   static_cast<ptrdiff_t>(y) * parent->pitch;
    view->premultiplied = nullptr;
    view->runTable = nullptr;
    return view;
}

int IsMemImageValid(const MEMIMG* image) {
    return image->pixels != nullptr ? 1 : 0;
}

void ReleaseMemImage(MEMIMG* image) {
    if (image->magic != kMemImgMagic) return;
    if (!image->pixelsNotOwned) TrackedFree(image->pixels);
    TrackedFree(image->premultiplied);
    TrackedFree(image->runTable);
    image->pixels = nullptr;
    image->premultiplied = nullptr;
    image->runTable = nullptr;
    image->magic = 0;
}

int TransferPixelsToMemImg(const ColorFormat* srcFormat, const void* srcPixels, int srcPitch,
                           const ColorFormat* alphaFormat, const void* alphaPixels, int alphaPitch, MEMIMG* dst,
                           int srcX, int srcY, int width, int height, int dstX, int dstY, int keyToAlpha) {
    if (!IsUsable(dst)) return WriteLog("転送先の MEMIMG が初期化されていません\n");
    if (CopyRectLeavesImage(dstX, dstY, width, height, dst->width, dst->height)) {
        dst->premultipliedValid = dst->runTableValid = 0;
        return RefuseCopyRect();
    }
    const RECT rect = {srcX, srcY, srcX + width, srcY + height};
    if (dst->pixelType == kMemImgChannel8 || dst->pixelType == kMemImgDepth16) {
        ColorFormatConvertBlt(dst->pixels, dst->pitch, dst->format, srcPixels, srcPitch, srcFormat, nullptr, 0,
                              nullptr, dstX, dstY, &rect, 0, 0, 0, kDitherNone, 1, 1, 0);
        dst->premultipliedValid = dst->runTableValid = 0;
        return 0;
    }
    const bool withAlpha = alphaPixels != nullptr && alphaFormat != nullptr;
    const int result = ColorFormatConvertBlt(dst->pixels, dst->pitch, dst->format, srcPixels, srcPitch, srcFormat,
                                             withAlpha ? alphaPixels : nullptr, alphaPitch,
                                             withAlpha ? alphaFormat : nullptr, dstX, dstY, &rect, 0, keyToAlpha,
                                             dst->colorKey, kDitherNone, 0, 0, 0);
    if (result < 0) {
        dst->premultipliedValid = dst->runTableValid = 0;
        return result;
    }
    if (dst->hasPalette) {
        dst->paletteCount = result + 1;
        WritePaletteFromFormat(dst, srcFormat);
    }
    dst->premultipliedValid = dst->runTableValid = 0;
    if (width != dst->width || height != dst->height || dstX != 0 || dstY != 0 || dst->runTable == nullptr) {
        return 0;
    }
    dst->runTableValid = 1;
    if (dst->hasAlpha && dst->premultiplied != nullptr) {
        dst->premultipliedValid = 1;
        RebuildMemImagePremultiplied(dst);
    }
    RebuildMemImageRunTable(dst);
    return 0;
}

int BltMemImage(MEMIMG* dst, const MEMIMG* src, const RECT* srcRect, int dstX, int dstY) {
    if (!IsUsable(dst) || !IsUsable(src)) return WriteLog("転送元か転送先の MEMIMG が初期化されていません\n");
    const RECT whole = {0, 0, src->width, src->height};
    if (srcRect == nullptr) srcRect = &whole;
    const int width = srcRect->right - srcRect->left, height = srcRect->bottom - srcRect->top;
    if (CopyRectLeavesImage(srcRect->left, srcRect->top, width, height, src->width, src->height) ||
        CopyRectLeavesImage(dstX, dstY, width, height, dst->width, dst->height)) {
        return RefuseCopyRect();
    }
    const ColorFormat* srcFormat = src->format;
    // A palette image's colours live in its own palette, not in the shared layout record.
    ColorFormat paletteFormat;
    if (src->hasPalette && !dst->hasPalette) {
        PaletteFormatOf(src, &paletteFormat);
        srcFormat = &paletteFormat;
    }
    return ColorFormatConvertBlt(dst->pixels, dst->pitch, dst->format, src->pixels, src->pitch, srcFormat, nullptr,
                                 0, nullptr, dstX, dstY, srcRect, 0, 0, 0, kDitherNone, 0, 0, 0);
}

int BltMemImageToPixels(void* dstPixels, int dstPitch, const ColorFormat* dstFormat, const MEMIMG* src, int srcX,
                        int srcY, int width, int height, int dstX, int dstY, uint32_t colorKey, int skipKey) {
    if (!IsUsable(src)) return WriteLog("転送元の MEMIMG が初期化されていません\n");
    if (src->pixelType == kMemImgChannel8 || src->pixelType == kMemImgDepth16 || src->hasPalette || src->hasAlpha) {
        return 0;
    }
    if (CopyRectLeavesImage(srcX, srcY, width, height, src->width, src->height)) return RefuseCopyRect();
    const RECT rect = {srcX, srcY, srcX + width, srcY + height};
    return ColorFormatConvertBlt(dstPixels, dstPitch, dstFormat, src->pixels, src->pitch, src->format, nullptr, 0,
                                 nullptr, dstX, dstY, &rect, 0, 0, colorKey, kDitherNone, 0, 0, skipKey);
}

void FillMemImageRect(MEMIMG* image, const RECT* rect, uint32_t value) {
    if (!IsUsable(image)) return;
    const int bytes = BytesOf(image);
    if (bytes != 1 && bytes != 2 && bytes != 4) return;
    const RECT whole = {0, 0, image->width, image->height};
    const RECT r = ClipToImage(rect != nullptr ? *rect : whole, image->width, image->height);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return;
    uint8_t* row = image->pixels + static_cast<ptrdiff_t>(r.top) * image->pitch + static_cast<ptrdiff_t>(r.left) * bytes;
    for (int y = 0; y < height; ++y, row += image->pitch) {
        if (bytes == 1) {
            memset(row, static_cast<int>(value & 0xFF), width);
        } else if (bytes == 2) {
            const uint16_t v = static_cast<uint16_t>(value);
            for (int x = 0; x < width; ++x) memcpy(row + 2 * x, &v, 2);
        } else {
            for (int x = 0; x < width; ++x) memcpy(row + 4 * x, &value, 4);
        }
    }
}

namespace {

// The cached record of a pixel type in either form (ColorFormat or DDPIXELFORMAT); null for an unknown type.
template <typename Record>
const Record* CachedLayout(int pixelType, int alpha, int palette, Record (&colour)[2][2][2], Record& channel8,
                           Record& depth16) {
    switch (pixelType) {
    case kMemImgColor16:
    case kMemImgColor32:
        return &colour[pixelType][alpha != 0][palette != 0];
    case kMemImgChannel8:
        return &channel8;
    case kMemImgDepth16:
        return &depth16;
    default:
        return nullptr;
    }
}

}  // namespace

const ColorFormat* GetMemImageColorFormat(int pixelType, int alpha, int palette) {
    FormatCache& c = Formats();
    return CachedLayout(pixelType, alpha, palette, c.colour, c.channel8, c.depth16);
}

const DDPIXELFORMAT* GetMemImageColorFormatB(int pixelType, int alpha, int palette) {
    FormatCache& c = Formats();
    return CachedLayout(pixelType, alpha, palette, c.ddColour, c.ddChannel8, c.ddDepth16);
}

void RebuildMemImagePremultiplied(MEMIMG* image) {
    if (image->premultiplied == nullptr || !image->hasAlpha) return;
    for (int y = 0; y < image->height; ++y) {
        const uint8_t* s = image->pixels + static_cast<ptrdiff_t>(y) * image->pitch;
        uint8_t* d = image->premultiplied + static_cast<ptrdiff_t>(y) * image->pitch;
        for (int x = 0; x < image->width; ++x) {
            uint32_t p;
            memcpy(&p, s + 4 * x, 4);
            uint32_t out;
            if (image->pixelType == kMemImgColor16) {
                const uint32_t a = (p >> 16) & 0xFF;
                const uint32_t c = p & 0xFFFF;
                const uint32_t blue = ((c & 0x001F) * a) & 0x1F00;
                const uint32_t red = ((c & 0xF800) * a) & 0xF80000;
                const uint32_t green = ((c & 0x07E0) * a) & 0x7E000;
                out = ((red | green | blue) >> 8) | (a << 16);
            } else {
                const uint32_t a = p >> 24;
                const uint32_t b = ((p & 0xFF) * a) >> 8;
                const uint32_t g = (((p >> 8) & 0xFF) * a) >> 8;
                const uint32_t r = (((p >> 16) & 0xFF) * a) >> 8;
                out = (a << 24) | (r << 16) | (g << 8) | b;
            }
            memcpy(d + 4 * x, &out, 4);
        }
    }
}

void RebuildMemImageRunTable(MEMIMG* image) {
    if (image->runTable == nullptr) return;
    const int bytes = BytesOf(image);
    uint8_t* out = image->runTable;
    for (int y = 0; y < image->height; ++y) {
        const uint8_t* row = image->pixels + static_cast<ptrdiff_t>(y) * image->pitch;
        auto classOf = [&](int x) -> uint8_t {
            if (image->hasPalette) return row[x] == (image->colorKey & 0xFF) ? kRunTransparent : kRunOpaque;
            if (image->hasAlpha) {
                const uint8_t a = row[4 * x + (image->pixelType == kMemImgColor16 ? 2 : 3)];
                return a == 0 ? kRunTransparent : (a == 255 ? kRunOpaque : kRunPartial);
            }
            if (bytes == 2) {
                uint16_t v;
                memcpy(&v, row + 2 * x, 2);
                return v == (image->colorKey & 0xFFFF) ? kRunTransparent : kRunOpaque;
            }
            uint32_t v;
            memcpy(&v, row + 4 * x, 4);
            return v == image->colorKey ? kRunTransparent : kRunOpaque;
        };
        int x = 0;
        while (x < image->width) {
            const uint8_t kind = classOf(x);
            int length = 1;
            while (x + length < image->width && length < 64 && classOf(x + length) == kind) ++length;
            *out++ = static_cast<uint8_t>(kind | (length - 1));
            x += length;
        }
        *out++ = kRunRowEnd;
    }
}
