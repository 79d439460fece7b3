// Loading decoded images: a file through the file layer (so it may lie in a packed archive) or a block of memory
// is opened as a stream, run through the reader chain and closed again; the "_a" companion file supplies the
// alpha of an image. The graph loader and the graph restore function both come through here.
#include <string.h>

#include "graphics/color/color_convert.h"
#include "graphics/image/image.h"
#include "graphics/image/image_reader.h"
#include "runtime/file.h"
#include "runtime/memory.h"
#include "runtime/stream.h"

namespace {

int OpenImageStream(const char* fileName, const void* memory, int memorySize, int fromMemory, ImageStream* stream) {
    if (fromMemory) {
        if (memory == nullptr || memorySize <= 0) return -1;
        stream->functions = GetMemoryStreamFunctions();
        stream->handle = OpenMemoryStream(memory, memorySize);
    } else {
        if (fileName == nullptr || fileName[0] == '\0') return -1;
        stream->functions = GetFileStreamFunctions();
        stream->handle = FileLayerOpen(fileName, 0, 1);
    }
    return stream->handle != 0 && stream->functions != nullptr ? 0 : -1;
}

// The restore road: the pixels pass once through the conversion blit into a fresh block of the same layout,
// with the red channel written into the alpha channel (images that carry alpha take it from their red).
int ConvertOnce(GraphImage* image) {
    const int64_t bytes = static_cast<int64_t>(image->pitch) * image->height;
    void* fresh = AllocImagePixels(image->width, image->height, image->pitch);
    if (fresh == nullptr) return -1;
    memset(fresh, 0, static_cast<size_t>(bytes));
    const RECT rect = {0, 0, image->width, image->height};
    if (ColorFormatConvertBlt(fresh, image->pitch, &image->format, image->pixels, image->pitch, &image->format,
                              nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, kDitherNone, 0, 1, 0) < 0) {
        KV_FREE(fresh);
        return -1;
    }
    KV_FREE(image->pixels);
    image->pixels = fresh;
    return 0;
}

}  // namespace

int MakeAlphaCompanionName(const char* fileName, char* out, int outSize) {
    if (fileName == nullptr || out == nullptr || outSize <= 0) return -1;
    const size_t length = strlen(fileName);
    // No Shift-JIS trail byte is a '.', so a plain search finds the real last dot.
    const char* dot = strrchr(fileName, '.');
    const size_t stem = dot != nullptr ? static_cast<size_t>(dot - fileName) : length;
    if (length + 3 > static_cast<size_t>(outSize)) return -1;
    memcpy(out, fileName, stem);
    out[stem] = '_';
    out[stem + 1] = 'a';
    memcpy(out + stem + 2, fileName + stem, length - stem + 1);
    return 0;
}

int LoadImageToGraphImage(const char* fileName, const void* memory, int memorySize, int fromMemory, int toDIB,
                          int convert, GraphImage* outImage, BITMAPINFO** outDibInfo, void** outDibBits) {
    if (outImage != nullptr) memset(outImage, 0, sizeof(*outImage));
    if (outDibInfo != nullptr) *outDibInfo = nullptr;
    if (outDibBits != nullptr) *outDibBits = nullptr;
    if (toDIB ? (outDibInfo == nullptr || outDibBits == nullptr) : outImage == nullptr) return -1;

    ImageStream stream;
    if (OpenImageStream(fileName, memory, memorySize, fromMemory, &stream) != 0) return -1;
    GraphImage decoded;
    const int result = DecodeImageStream(&stream, &decoded);
    stream.functions->close(stream.handle);
    if (result != 0) return -1;

    if (convert == 1 && ConvertOnce(&decoded) != 0) {
        ReleaseGraphImage(&decoded);
        return -1;
    }
    if (toDIB) {
        const int made = GraphImageTo24Bit(&decoded, outDibInfo, outDibBits);
        ReleaseGraphImage(&decoded);
        return made;
    }
    *outImage = decoded;
    return 0;
}

int LoadGraphImage(const char* fileName, const void* memory, int memorySize, GraphImage* outImage) {
    return LoadImageToGraphImage(fileName, memory, memorySize, fileName == nullptr, 0, 0, outImage, nullptr,
                                 nullptr);
}

int LoadImageWithAlphaFile(const char* fileName, const void* memory, int memorySize, const void* alphaMemory,
                           int alphaMemorySize, int convert, GraphImage* outImage, GraphImage* outAlpha) {
    memset(outAlpha, 0, sizeof(*outAlpha));
    const int fromMemory = fileName == nullptr;
    if (LoadImageToGraphImage(fileName, memory, memorySize, fromMemory, 0, convert, outImage, nullptr, nullptr) !=
        0) {
        return -1;
    }
    if (fromMemory) {
        if (alphaMemory == nullptr) return 1;
        return LoadImageToGraphImage(nullptr, alphaMemory, alphaMemorySize, 1, 0, convert, outAlpha, nullptr,
                                     nullptr) == 0
                   ? 0
                   : 1;
    }
    char companion[MAX_PATH + 3];
    if (MakeAlphaCompanionName(fileName, companion, sizeof(companion)) != 0) return 1;
    return LoadImageToGraphImage(companion, nullptr, 0, 0, 0, convert, outAlpha, nullptr, nullptr) == 0 ? 0 : 1;
}
