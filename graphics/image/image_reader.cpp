// The reader chain: the fixed order of format readers behind an (always empty here) table of further readers,
// and the bounds and stream helpers every reader shares.
#include "graphics/image/image_reader.h"

#include <string.h>

#include "runtime/memory.h"

namespace {

constexpr int kMaxExtraReaders = 10;
ImageReaderFunction g_extraReaders[kMaxExtraReaders + 1];
int g_extraReaderCount = 0;

const ImageReaderFunction ImageReaderTable[] = {
    ReadBmpImage, ReadJpegImage, ReadPngImage, ReadBgraImage, ReadTgaImage, ReadDdsImage, nullptr,
};

int TryReader(ImageReaderFunction reader, const ImageStream* stream, GraphImage* image) {
    if (!ImageStreamSeek(stream, 0)) return -1;
    memset(image, 0, sizeof(*image));
    if (reader(stream, image) == 0) return 0;
    memset(image, 0, sizeof(*image));
    return -1;
}

}  // namespace

const ImageReaderFunction* GetImageReaderTable() {
    return ImageReaderTable;
}

int AddImageReader(ImageReaderFunction reader) {
    if (reader == nullptr || g_extraReaderCount >= kMaxExtraReaders) return -1;
    g_extraReaders[g_extraReaderCount++] = reader;
    g_extraReaders[g_extraReaderCount] = nullptr;
    return 0;
}

void ClearImageReaders() {
    g_extraReaderCount = 0;
    g_extraReaders[0] = nullptr;
}

int DecodeImageStream(const ImageStream* stream, GraphImage* image) {
    memset(image, 0, sizeof(*image));
    if (stream == nullptr || stream->functions == nullptr) return -1;
    for (int i = 0; g_extraReaders[i] != nullptr; ++i) {
        if (TryReader(g_extraReaders[i], stream, image) == 0) return 0;
    }
    for (const ImageReaderFunction* reader = ImageReaderTable; *reader != nullptr; ++reader) {
        if (TryReader(*reader, stream, image) == 0) return 0;
    }
    return -1;
}

int ImageSizeIsSane(int64_t width, int64_t height, int64_t pitch) {
    if (width < 1 || height < 1 || width > kImageMaxDimension || height > kImageMaxDimension) return 0;
    if (pitch < 1 || pitch > kImageMaxBytes) return 0;
    return pitch * height <= kImageMaxBytes ? 1 : 0;
}

void* AllocImagePixels(int64_t width, int64_t height, int64_t pitch) {
    if (!ImageSizeIsSane(width, height, pitch)) return nullptr;
    return KV_ALLOC(static_cast<size_t>(pitch * height));
}

int64_t ImageStreamTell(const ImageStream* stream) {
    return stream->functions->tell(stream->handle);
}

int ImageStreamSeek(const ImageStream* stream, int64_t offset) {
    if (offset < 0 || offset > 0x7FFFFFFF) return 0;
    if (stream->functions->seek(stream->handle, static_cast<int>(offset), 0) != 0) return 0;
    return ImageStreamTell(stream) == offset ? 1 : 0;
}

int64_t ImageStreamRemaining(const ImageStream* stream) {
    const int64_t position = ImageStreamTell(stream);
    if (position < 0) return -1;
    if (stream->functions->seek(stream->handle, 0, 2) != 0) return -1;
    const int64_t end = ImageStreamTell(stream);
    if (!ImageStreamSeek(stream, position) || end < position) return -1;
    return end - position;
}

int ImageStreamReadExact(const ImageStream* stream, void* buffer, size_t bytes) {
    // Element size 1: every back end then reports exactly the bytes it delivered.
    unsigned char* out = static_cast<unsigned char*>(buffer);
    while (bytes > 0) {
        const size_t got = stream->functions->read(out, 1, bytes, stream->handle);
        if (got == 0 || got > bytes) return 0;
        out += got;
        bytes -= got;
    }
    return 1;
}
