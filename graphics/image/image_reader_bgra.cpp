// The raw "BGRA" format: a 16-byte header (magic, channel layout, width, height) and unpadded rows of blue,
// green, red, alpha with 8 or 16 bits a channel. Decoded to A8R8G8B8; 16-bit channels keep their high byte.
#include <string.h>

#include "graphics/image/image_reader.h"
#include "runtime/memory.h"

namespace {

constexpr uint32_t kLayout8 = 0x08080808u;
constexpr uint32_t kLayout16 = 0x10101010u;

}  // namespace

int ReadBgraImage(const ImageStream* stream, GraphImage* image) {
    uint8_t header[16];
    if (!ImageStreamReadExact(stream, header, sizeof(header))) return -1;
    if (memcmp(header, "BGRA", 4) != 0) return -1;
    const uint32_t layout = ReadLE32(header + 4);
    if (layout != kLayout8 && layout != kLayout16) return -1;
    const int32_t width = static_cast<int32_t>(ReadLE32(header + 8));
    const int32_t height = static_cast<int32_t>(ReadLE32(header + 12));
    const int64_t pitch = static_cast<int64_t>(width) * 4;
    if (!ImageSizeIsSane(width, height, pitch)) return -1;
    const int64_t channelBytes = layout == kLayout8 ? 1 : 2;
    if (ImageStreamRemaining(stream) < pitch * height * channelBytes) return -1;

    uint8_t* pixels = static_cast<uint8_t*>(AllocImagePixels(width, height, pitch));
    if (pixels == nullptr) return -1;
    int ok = 1;
    if (layout == kLayout8) {
        ok = ImageStreamReadExact(stream, pixels, static_cast<size_t>(pitch * height));
    } else {
        const size_t rowBytes = static_cast<size_t>(pitch * 2);
        uint8_t* row = static_cast<uint8_t*>(KV_ALLOC(rowBytes));
        ok = row != nullptr;
        for (int y = 0; ok && y < height; ++y) {
            ok = ImageStreamReadExact(stream, row, rowBytes);
            uint8_t* dst = pixels + static_cast<size_t>(y) * pitch;
            for (size_t i = 0; ok && i < static_cast<size_t>(pitch); ++i) dst[i] = row[i * 2 + 1];
        }
        KV_FREE(row);
    }
    if (!ok) {
        KV_FREE(pixels);
        return -1;
    }
    SetColorFormatFromMasksImpl(&image->format, 32, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u);
    image->width = width;
    image->height = height;
    image->pitch = static_cast<int>(pitch);
    image->pixels = pixels;
    return 0;
}
