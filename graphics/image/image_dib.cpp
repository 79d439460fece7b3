// Windows bitmaps from decoded images: the packed description (header, colour table, bits) of an image, and a
// top-down DIB section filled from it, optionally mirrored. The main window's region and tool-bar bitmaps are
// made this way.
#include <string.h>

#include "graphics/color/color_convert.h"
#include "graphics/image/image.h"
#include "graphics/image/image_reader.h"
#include "runtime/log.h"
#include "runtime/memory.h"

namespace {

constexpr size_t kInfoSize = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);

bool IsPaletteLayout(const ColorFormat& f) {
    return f.bitDepth == 8 && f.redMask == 0xFF0000 && f.greenMask == 0xFF00 && f.blueMask == 0xFF &&
           f.alphaMask == 0;
}

HBITMAP MakeDib(const BITMAPINFO* info, const void* bits, int reverse) {
    const int width = info->bmiHeader.biWidth;
    const int height = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
    if (width <= 0 || height <= 0) return nullptr;

    // The section takes the description as it is, made top-down.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } target;
    const size_t tableBytes =
        info->bmiHeader.biBitCount <= 8 ? sizeof(RGBQUAD) * (info->bmiHeader.biClrUsed != 0
                                                                 ? info->bmiHeader.biClrUsed
                                                                 : 1u << info->bmiHeader.biBitCount)
                                        : 0;
    memset(&target, 0, sizeof(target));
    memcpy(&target.header, &info->bmiHeader, sizeof(BITMAPINFOHEADER));
    memcpy(target.colors, info->bmiColors, tableBytes < sizeof(target.colors) ? tableBytes : sizeof(target.colors));
    target.header.biHeight = -height;

    HDC dc = CreateCompatibleDC(nullptr);
    void* sectionBits = nullptr;
    HBITMAP dib = dc != nullptr ? CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&target), DIB_RGB_COLORS,
                                                   &sectionBits, nullptr, 0)
                                : nullptr;
    if (dib == nullptr) {
        WriteLog("ＤＩＢの作成に失敗しました2\n");
        if (dc != nullptr) DeleteDC(dc);
        return nullptr;
    }
    HGDIOBJ old = SelectObject(dc, dib);
    int lines;
    if (reverse) {
        lines = StretchDIBits(dc, 0, 0, width, height, width - 1, 0, -width, height, bits, info, DIB_RGB_COLORS,
                              SRCCOPY);
    } else {
        lines = SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                                  static_cast<UINT>(height), bits, info, DIB_RGB_COLORS);
    }
    GdiFlush();
    SelectObject(dc, old);
    DeleteDC(dc);
    if (lines <= 0) {
        WriteLog("ＤＩＢの作成に失敗しました3\n");
        DeleteObject(dib);
        return nullptr;
    }
    return dib;
}

}  // namespace

int GraphImageTo24Bit(const GraphImage* image, BITMAPINFO** outInfo, void** outBits) {
    *outInfo = nullptr;
    *outBits = nullptr;
    if (image == nullptr || image->pixels == nullptr) return -1;
    const bool palette = IsPaletteLayout(image->format);
    const int64_t pitch = palette ? ((static_cast<int64_t>(image->width) + 3) & ~3LL)
                                  : ((static_cast<int64_t>(image->width) * 3 + 3) & ~3LL);
    if (!ImageSizeIsSane(image->width, image->height, pitch)) return -1;
    uint8_t* block = static_cast<uint8_t*>(KV_ALLOC(kInfoSize + static_cast<size_t>(pitch * image->height)));
    if (block == nullptr) return -1;
    memset(block, 0, kInfoSize);
    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(block);
    uint8_t* bits = block + kInfoSize;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = image->width;
    info->bmiHeader.biHeight = -image->height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biCompression = BI_RGB;

    const uint8_t* src = static_cast<const uint8_t*>(image->pixels);
    if (palette) {
        info->bmiHeader.biBitCount = 8;
        info->bmiHeader.biClrUsed = 256;
        memcpy(info->bmiColors, image->format.palette, 256 * sizeof(RGBQUAD));
        for (int y = 0; y < image->height; ++y) {
            uint8_t* row = bits + y * pitch;
            memcpy(row, src + static_cast<size_t>(y) * image->pitch, static_cast<size_t>(image->width));
            memset(row + image->width, 0, static_cast<size_t>(pitch - image->width));
        }
    } else {
        info->bmiHeader.biBitCount = 24;
        ColorFormat rgb24;
        SetRgb24ColorFormat(&rgb24);
        if (IsColorFormatSame(&rgb24, &image->format) && image->pitch == pitch) {
            memcpy(bits, src, static_cast<size_t>(pitch * image->height));
        } else {
            memset(bits, 0, static_cast<size_t>(pitch * image->height));
            const RECT rect = {0, 0, image->width, image->height};
            if (ColorFormatConvertBlt(bits, static_cast<int>(pitch), &rgb24, src, image->pitch, &image->format,
                                      nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, kDitherNone, 0, 0, 0) < 0) {
                KV_FREE(block);
                return -1;
            }
        }
    }
    *outInfo = info;
    *outBits = bits;
    return 0;
}

HBITMAP CreateDIBGraph(const char* fileName, const void* memory, int memorySize, int reverse) {
    BITMAPINFO* info = nullptr;
    void* bits = nullptr;
    if (LoadImageToGraphImage(fileName, memory, memorySize, fileName == nullptr, 1, 0, nullptr, &info, &bits) != 0) {
        return nullptr;
    }
    HBITMAP dib = MakeDib(info, bits, reverse);
    KV_FREE(info);
    return dib;
}

HBITMAP CreateDIBGraphFromFile(const char* fileName, int reverse) {
    return CreateDIBGraph(fileName, nullptr, 0, reverse);
}

HBITMAP CreateDIBFromBitmapInfo(const BITMAPINFO* info, const void* bits, int reverse, const ColorFormat* format) {
    if (info == nullptr || bits == nullptr) return nullptr;
    if (format == nullptr) return MakeDib(info, bits, reverse);
    GraphImage image;
    memset(&image, 0, sizeof(image));
    image.format = *format;
    image.width = info->bmiHeader.biWidth;
    image.height = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
    image.pitch = (image.width * format->bytesPerPixel + 3) & ~3;
    image.pixels = const_cast<void*>(bits);
    BITMAPINFO* converted = nullptr;
    void* convertedBits = nullptr;
    if (GraphImageTo24Bit(&image, &converted, &convertedBits) != 0) {
        WriteLog("メモリの確保に失敗しました in CreateDIBGraph \n");
        return nullptr;
    }
    HBITMAP dib = MakeDib(converted, convertedBits, reverse);
    KV_FREE(converted);
    return dib;
}
