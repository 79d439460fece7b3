// Windows bitmap reader: uncompressed 4-, 8- and 24-bit rows and both run-length encodings are decoded here;
// every other layout (1, 2, 16 and 32 bits, bit fields) is converted to 24 bits through a GDI DIB section.
// The colour table and the bit-field masks start behind the info header's own size, whatever its version.
#include <string.h>

#include "graphics/image/image_reader.h"
#include "runtime/log.h"
#include "runtime/memory.h"

namespace {

constexpr int kFileHeaderSize = 14;
constexpr uint32_t kMinInfoSize = 40;   // the classic info header
constexpr uint32_t kMaxInfoSize = 124;  // the fifth version of it

constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionRle8 = 1;
constexpr uint32_t kCompressionRle4 = 2;
constexpr uint32_t kCompressionBitFields = 3;

struct BmpHeader {
    int width;
    int height;       // as stored: negative = rows top-down
    int absHeight;
    int bits;
    uint32_t compression;
    uint32_t infoSize;
    uint32_t dataOffset;
    int64_t rowSize;  // bytes of one stored row, a multiple of 4
    int paletteCount; // colour-table entries present in the file
    ColorPaletteEntry palette[256];
    uint32_t masks[3];
};

void FillPalette(ColorFormat* format, const BmpHeader& h) {
    SetPaletteColorFormat(format);
    memset(format->palette, 0, sizeof(format->palette));
    for (int i = 0; i < h.paletteCount; ++i) {
        format->palette[i] = h.palette[i];
        format->palette[i].reserved = 0;
    }
}

// Hands a decoded pixel block to the image (the format is already set).
int HandOver(GraphImage* image, const BmpHeader& h, int64_t pitch, uint8_t* pixels) {
    image->width = h.width;
    image->height = h.absHeight;
    image->pitch = static_cast<int>(pitch);
    image->pixels = pixels;
    return 0;
}

// The image row that file row `fileRow` lands on.
int TargetRow(const BmpHeader& h, int64_t fileRow) {
    return h.height > 0 ? h.absHeight - 1 - static_cast<int>(fileRow) : static_cast<int>(fileRow);
}

int ReadHeader(const ImageStream* stream, BmpHeader* h) {
    uint8_t file[kFileHeaderSize];
    uint8_t info[kMaxInfoSize];
    if (!ImageStreamReadExact(stream, file, sizeof(file))) return -1;
    if (file[0] != 'B' || file[1] != 'M') return -1;
    h->dataOffset = ReadLE32(file + 10);
    if (!ImageStreamReadExact(stream, info, 4)) return -1;
    h->infoSize = ReadLE32(info);
    // The 12-byte core header has other field widths; sizes in between are no header we know.
    if (h->infoSize < kMinInfoSize || h->infoSize > kMaxInfoSize) return -1;
    if (!ImageStreamReadExact(stream, info + 4, h->infoSize - 4)) return -1;

    const int32_t width = static_cast<int32_t>(ReadLE32(info + 4));
    const int32_t height = static_cast<int32_t>(ReadLE32(info + 8));
    h->bits = ReadLE16(info + 14);
    h->compression = ReadLE32(info + 16);
    const uint32_t colorsUsed = ReadLE32(info + 32);
    if (width <= 0 || height == 0 || height < -kImageMaxDimension) return -1;
    h->width = width;
    h->height = height;
    h->absHeight = height < 0 ? -height : height;

    switch (h->bits) {
        case 1: case 2: case 4: case 8: case 16: case 24: case 32: break;
        default: return -1;
    }
    switch (h->compression) {
        case kCompressionNone: break;
        case kCompressionRle8: if (h->bits != 8) return -1; break;
        case kCompressionRle4: if (h->bits != 4) return -1; break;
        case kCompressionBitFields: if (h->bits != 16 && h->bits != 32) return -1; break;
        default: return -1;
    }
    h->rowSize = ((static_cast<int64_t>(width) * h->bits + 31) / 32) * 4;
    if (!ImageSizeIsSane(h->width, h->absHeight, h->rowSize)) return -1;

    // Colour table or masks: right behind the info header, at 14 plus its size.
    h->paletteCount = 0;
    if (h->bits <= 8) {
        const uint32_t full = 1u << h->bits;
        h->paletteCount = static_cast<int>(colorsUsed > 0 && colorsUsed < full ? colorsUsed : full);
        if (!ImageStreamReadExact(stream, h->palette, static_cast<size_t>(h->paletteCount) * 4)) return -1;
    }
    if (h->compression == kCompressionBitFields) {
        if (h->infoSize >= 52) {
            for (int i = 0; i < 3; ++i) h->masks[i] = ReadLE32(info + 40 + 4 * i);
        } else {
            uint8_t m[12];
            if (!ImageStreamReadExact(stream, m, sizeof(m))) return -1;
            for (int i = 0; i < 3; ++i) h->masks[i] = ReadLE32(m + 4 * i);
        }
    }
    return 0;
}

// Everything from the pixel-data offset to the end of the stream, at least `minimum` bytes; null when there is
// less. *size gets the byte count read.
uint8_t* ReadPixelData(const ImageStream* stream, const BmpHeader& h, int64_t minimum, int64_t maximum,
                       int64_t* size) {
    if (!ImageStreamSeek(stream, h.dataOffset)) return nullptr;
    int64_t available = ImageStreamRemaining(stream);
    if (available < minimum || available <= 0) return nullptr;
    if (available > maximum) available = maximum;
    uint8_t* data = static_cast<uint8_t*>(KV_ALLOC(static_cast<size_t>(available)));
    if (data == nullptr) return nullptr;
    if (!ImageStreamReadExact(stream, data, static_cast<size_t>(available))) {
        KV_FREE(data);
        return nullptr;
    }
    *size = available;
    return data;
}

// Both run-length encodings into one byte a pixel. Writes that would leave the image are dropped; the data must
// end with the end-of-bitmap code. Returns 0 or -1.
int DecodeRle(const BmpHeader& h, const uint8_t* data, int64_t size, uint8_t* out, int pitch, int fourBit) {
    int64_t pos = 0;
    int64_t x = 0;
    int64_t fileRow = 0;
    auto put = [&](int index) {
        if (x < h.width && fileRow < h.absHeight) {
            out[static_cast<size_t>(TargetRow(h, fileRow)) * pitch + static_cast<size_t>(x)] =
                static_cast<uint8_t>(index);
        }
        if (x <= h.width) ++x;  // saturates: nothing beyond the row is ever written
    };
    while (pos + 2 <= size) {
        const int count = data[pos];
        const int value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i) put(fourBit ? ((i & 1) ? value & 0x0F : value >> 4) : value);
            continue;
        }
        switch (value) {
            case 0:  // end of line
                x = 0;
                if (fileRow <= h.absHeight) ++fileRow;
                break;
            case 1:  // end of bitmap
                return 0;
            case 2:  // move right and on
                if (pos + 2 > size) return -1;
                x += data[pos];
                fileRow += data[pos + 1];
                if (x > h.width) x = h.width + 1;
                if (fileRow > h.absHeight) fileRow = h.absHeight + 1;
                pos += 2;
                break;
            default: {  // literal run of `value` pixels
                const int64_t bytes = fourBit ? (value + 1) / 2 : value;
                if (pos + bytes > size) return -1;
                for (int i = 0; i < value; ++i) {
                    const int b = data[pos + (fourBit ? i / 2 : i)];
                    put(fourBit ? ((i & 1) ? b & 0x0F : b >> 4) : b);
                }
                pos += bytes + (bytes & 1);
                break;
            }
        }
    }
    return -1;  // the data ended without the end-of-bitmap code
}

int ReadRle(const ImageStream* stream, const BmpHeader& h, GraphImage* image) {
    const int fourBit = h.compression == kCompressionRle4;
    const int64_t pitch = fourBit ? ((static_cast<int64_t>(h.width) + 3) & ~3LL) : h.rowSize;
    uint8_t* pixels = static_cast<uint8_t*>(AllocImagePixels(h.width, h.absHeight, pitch));
    if (pixels == nullptr) return -1;
    int64_t size = 0;
    uint8_t* data = ReadPixelData(stream, h, 2, kImageMaxBytes, &size);
    if (data == nullptr) {
        KV_FREE(pixels);
        return -1;
    }
    memset(pixels, 0, static_cast<size_t>(pitch * h.absHeight));
    const int result = DecodeRle(h, data, size, pixels, static_cast<int>(pitch), fourBit);
    KV_FREE(data);
    if (result != 0) {
        KV_FREE(pixels);
        return -1;
    }
    FillPalette(&image->format, h);
    return HandOver(image, h, pitch, pixels);
}

// Uncompressed 4, 8 and 24 bits: rows brought into top-down order (4 bits unpacked to a byte a pixel).
int ReadPlain(const ImageStream* stream, const BmpHeader& h, GraphImage* image) {
    const int64_t stored = h.rowSize * h.absHeight;
    int64_t size = 0;
    uint8_t* data = ReadPixelData(stream, h, stored, stored, &size);
    if (data == nullptr) return -1;
    const int64_t pitch = h.bits == 4 ? ((static_cast<int64_t>(h.width) + 3) & ~3LL) : h.rowSize;
    uint8_t* pixels = static_cast<uint8_t*>(AllocImagePixels(h.width, h.absHeight, pitch));
    if (pixels == nullptr) {
        KV_FREE(data);
        return -1;
    }
    for (int row = 0; row < h.absHeight; ++row) {
        const uint8_t* src = data + static_cast<size_t>(row) * h.rowSize;
        uint8_t* dst = pixels + static_cast<size_t>(TargetRow(h, row)) * pitch;
        if (h.bits == 4) {
            for (int x = 0; x < h.width; ++x) dst[x] = (x & 1) ? src[x / 2] & 0x0F : src[x / 2] >> 4;
            memset(dst + h.width, 0, static_cast<size_t>(pitch - h.width));
        } else {
            memcpy(dst, src, static_cast<size_t>(pitch));
        }
    }
    KV_FREE(data);
    if (h.bits == 24) {
        SetRgb24ColorFormat(&image->format);
    } else {
        FillPalette(&image->format, h);
    }
    return HandOver(image, h, pitch, pixels);
}

// Every other layout: let GDI draw the file's bits into a 24-bit top-down DIB section.
int ReadThroughGdi(const ImageStream* stream, const BmpHeader& h, GraphImage* image) {
    const int64_t stored = h.rowSize * h.absHeight;
    const int64_t pitch = (static_cast<int64_t>(h.width) * 3 + 3) & ~3LL;
    if (!ImageSizeIsSane(h.width, h.absHeight, pitch)) return -1;
    int64_t size = 0;
    uint8_t* data = ReadPixelData(stream, h, stored, stored, &size);
    if (data == nullptr) return -1;

    // The file's own description, normalised to the classic header with its table or masks behind it.
    struct {
        BITMAPINFOHEADER header;
        uint32_t table[256];
    } source;
    memset(&source, 0, sizeof(source));
    source.header.biSize = sizeof(BITMAPINFOHEADER);
    source.header.biWidth = h.width;
    source.header.biHeight = h.height;
    source.header.biPlanes = 1;
    source.header.biBitCount = static_cast<WORD>(h.bits);
    source.header.biCompression = h.compression;
    if (h.bits <= 8) {
        source.header.biClrUsed = static_cast<DWORD>(h.paletteCount);
        memcpy(source.table, h.palette, static_cast<size_t>(h.paletteCount) * 4);
    } else if (h.compression == kCompressionBitFields) {
        memcpy(source.table, h.masks, sizeof(h.masks));
    }

    BITMAPINFO target;
    memset(&target, 0, sizeof(target));
    target.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    target.bmiHeader.biWidth = h.width;
    target.bmiHeader.biHeight = -h.absHeight;
    target.bmiHeader.biPlanes = 1;
    target.bmiHeader.biBitCount = 24;
    target.bmiHeader.biCompression = BI_RGB;

    int result = -1;
    void* dibBits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP dib = dc != nullptr ? CreateDIBSection(dc, &target, DIB_RGB_COLORS, &dibBits, nullptr, 0) : nullptr;
    if (dib == nullptr || dibBits == nullptr) {
        WriteLog("ＤＩＢの作成に失敗しました3\n");
    } else {
        HGDIOBJ old = SelectObject(dc, dib);
        const int lines = SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(h.width), static_cast<DWORD>(h.absHeight),
                                            0, 0, 0, static_cast<UINT>(h.absHeight), data,
                                            reinterpret_cast<const BITMAPINFO*>(&source), DIB_RGB_COLORS);
        GdiFlush();
        if (lines > 0) {
            uint8_t* pixels = static_cast<uint8_t*>(AllocImagePixels(h.width, h.absHeight, pitch));
            if (pixels == nullptr) {
                WriteLog("２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
            } else {
                memcpy(pixels, dibBits, static_cast<size_t>(pitch * h.absHeight));
                SetRgb24ColorFormat(&image->format);
                result = HandOver(image, h, pitch, pixels);
            }
        }
        SelectObject(dc, old);
    }
    if (dib != nullptr) DeleteObject(dib);
    if (dc != nullptr) DeleteDC(dc);
    KV_FREE(data);
    return result;
}

}  // namespace

int ReadBmpImage(const ImageStream* stream, GraphImage* image) {
    BmpHeader h;
    memset(&h, 0, sizeof(h));
    if (ReadHeader(stream, &h) != 0) return -1;
    if (h.compression == kCompressionRle8 || h.compression == kCompressionRle4) return ReadRle(stream, h, image);
    if (h.compression == kCompressionNone && (h.bits == 4 || h.bits == 8 || h.bits == 24)) {
        return ReadPlain(stream, h, image);
    }
    return ReadThroughGdi(stream, h, image);
}
