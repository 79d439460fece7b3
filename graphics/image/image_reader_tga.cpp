// Targa reader: colour-mapped and true-colour images, plain or run-length encoded (types 1, 2, 9, 10), 16, 24 or
// 32 bits a pixel, in either row and column order. Grey images, origins other than 0 and sizes from 4096 on are
// refused. Runs and the colour map never reach outside the image or the 256-entry table.
#include <string.h>

#include "graphics/image/image_reader.h"
#include "runtime/memory.h"

namespace {

constexpr int kHeaderSize = 18;
constexpr int kFooterSize = 26;
constexpr int kMaxSide = 4096;  // exclusive

struct TgaInfo {
    int type;
    int mapped;      // colour-mapped: pixels are one-byte indices into the table
    int compressed;
    int width, height;
    int bytes;       // bytes a pixel of the decoded image
    int descriptor;
};

// Decodes `count` units of `unitBytes` from the run-length packets in data; 0, or -1 when the data runs out.
int DecodeRle(const uint8_t* data, int64_t size, int unitBytes, int64_t count, uint8_t* out) {
    int64_t pos = 0;
    int64_t done = 0;
    while (done < count) {
        if (pos >= size) return -1;
        const int header = data[pos++];
        int64_t n = (header & 0x7F) + 1;
        if (n > count - done) n = count - done;
        if (header & 0x80) {
            if (pos + unitBytes > size) return -1;
            for (int64_t i = 0; i < n; ++i) memcpy(out + (done + i) * unitBytes, data + pos, unitBytes);
            pos += unitBytes;
        } else {
            if (pos + n * unitBytes > size) return -1;
            memcpy(out + done * unitBytes, data + pos, static_cast<size_t>(n * unitBytes));
            pos += n * unitBytes;
        }
        done += n;
    }
    return 0;
}

// Rows into top-to-bottom, left-to-right order.
void Orient(uint8_t* pixels, const TgaInfo& t) {
    const size_t pitch = static_cast<size_t>(t.width) * t.bytes;
    if ((t.descriptor & 0x20) == 0) {  // stored bottom to top
        for (int top = 0, bottom = t.height - 1; top < bottom; ++top, --bottom) {
            uint8_t* a = pixels + top * pitch;
            uint8_t* b = pixels + bottom * pitch;
            for (size_t i = 0; i < pitch; ++i) {
                const uint8_t tmp = a[i];
                a[i] = b[i];
                b[i] = tmp;
            }
        }
    }
    if (t.descriptor & 0x10) {  // stored right to left
        for (int y = 0; y < t.height; ++y) {
            uint8_t* left = pixels + y * pitch;
            uint8_t* right = left + pitch - t.bytes;
            while (left < right) {
                uint8_t tmp[4];
                memcpy(tmp, left, t.bytes);
                memcpy(left, right, t.bytes);
                memcpy(right, tmp, t.bytes);
                left += t.bytes;
                right -= t.bytes;
            }
        }
    }
}

}  // namespace

int ReadTgaImage(const ImageStream* stream, GraphImage* image) {
    const int64_t fileSize = ImageStreamRemaining(stream);
    if (fileSize < kHeaderSize) return -1;

    int64_t dataEnd = fileSize;
    if (fileSize >= kHeaderSize + kFooterSize) {
        uint8_t footer[kFooterSize];
        if (!ImageStreamSeek(stream, fileSize - kFooterSize) || !ImageStreamReadExact(stream, footer, kFooterSize)) {
            return -1;
        }
        if (memcmp(footer + 8, "TRUEVISION-XFILE", 16) == 0 && ReadLE32(footer) == 0) dataEnd -= kFooterSize;
    }

    uint8_t h[kHeaderSize];
    if (!ImageStreamSeek(stream, 0) || !ImageStreamReadExact(stream, h, kHeaderSize)) return -1;
    TgaInfo t;
    t.type = h[2];
    if (t.type != 1 && t.type != 2 && t.type != 9 && t.type != 10) return -1;
    t.mapped = t.type == 1 || t.type == 9;
    t.compressed = t.type >= 9;
    const int mapType = h[1];
    const int mapFirst = ReadLE16(h + 3);
    const int mapLength = ReadLE16(h + 5);
    const int mapEntryBits = h[7];
    const int pixelBits = h[16];
    t.descriptor = h[17];
    if (ReadLE16(h + 8) != 0 || ReadLE16(h + 10) != 0) return -1;
    t.width = ReadLE16(h + 12);
    t.height = ReadLE16(h + 14);
    if (t.width < 1 || t.height < 1 || t.width >= kMaxSide || t.height >= kMaxSide) return -1;
    if (t.mapped && (mapType != 1 || pixelBits != 8)) return -1;
    const int depth = t.mapped ? mapEntryBits : pixelBits;
    if (depth != 16 && depth != 24 && depth != 32) return -1;
    t.bytes = depth / 8;

    // A colour map is skipped whenever one is present, also in front of true-colour pixels.
    const int64_t mapBytes = mapType == 1 ? static_cast<int64_t>(mapLength) * ((mapEntryBits + 7) / 8) : 0;
    const int64_t dataStart = kHeaderSize + h[0] + mapBytes;
    if (dataStart > dataEnd) return -1;

    uint8_t table[256 * 4];
    memset(table, 0, sizeof(table));
    if (t.mapped) {
        uint8_t* map = static_cast<uint8_t*>(KV_ALLOC(static_cast<size_t>(mapBytes) + 1));
        if (map == nullptr) return -1;
        if (!ImageStreamSeek(stream, kHeaderSize + h[0]) ||
            !ImageStreamReadExact(stream, map, static_cast<size_t>(mapBytes))) {
            KV_FREE(map);
            return -1;
        }
        for (int i = 0; i < mapLength && mapFirst + i < 256; ++i) {
            memcpy(table + (mapFirst + i) * t.bytes, map + i * t.bytes, t.bytes);
        }
        KV_FREE(map);
    }

    const int64_t count = static_cast<int64_t>(t.width) * t.height;
    const int unitBytes = t.mapped ? 1 : t.bytes;
    const int64_t pitch = static_cast<int64_t>(t.width) * t.bytes;
    const int64_t available = dataEnd - dataStart;
    // Stored units: straight, or at worst one packet header per unit when run-length encoded.
    int64_t toRead = count * unitBytes;
    if (t.compressed) toRead += count;
    if (toRead > available) toRead = available;
    if (!t.compressed && toRead < count * unitBytes) return -1;

    uint8_t* data = static_cast<uint8_t*>(KV_ALLOC(static_cast<size_t>(toRead) + 1));
    if (data == nullptr) return -1;
    if (!ImageStreamSeek(stream, dataStart) || !ImageStreamReadExact(stream, data, static_cast<size_t>(toRead))) {
        KV_FREE(data);
        return -1;
    }
    uint8_t* pixels = static_cast<uint8_t*>(AllocImagePixels(t.width, t.height, pitch));
    uint8_t* units = t.mapped ? static_cast<uint8_t*>(KV_ALLOC(static_cast<size_t>(count))) : pixels;
    int ok = pixels != nullptr && units != nullptr;
    if (ok) {
        if (t.compressed) {
            ok = DecodeRle(data, toRead, unitBytes, count, units) == 0;
        } else {
            memcpy(units, data, static_cast<size_t>(count * unitBytes));
        }
    }
    if (ok && t.mapped) {
        for (int64_t i = 0; i < count; ++i) memcpy(pixels + i * t.bytes, table + units[i] * t.bytes, t.bytes);
    }
    if (t.mapped && units != nullptr) KV_FREE(units);
    KV_FREE(data);
    if (!ok) {
        if (pixels != nullptr) KV_FREE(pixels);
        return -1;
    }
    Orient(pixels, t);

    switch (depth) {
        case 16: SetColorFormatFromMasksImpl(&image->format, 16, 0x7C00, 0x03E0, 0x001F, 0); break;
        case 24: SetColorFormatFromMasksImpl(&image->format, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0); break;
        default: SetColorFormatFromMasksImpl(&image->format, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000u); break;
    }
    image->width = t.width;
    image->height = t.height;
    image->pitch = static_cast<int>(pitch);
    image->pixels = pixels;
    return 0;
}
