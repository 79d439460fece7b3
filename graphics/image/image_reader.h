// The image readers: one function per file format, each filling a GraphImage from a stream, tried in a fixed
// order by DecodeImageStream. Also the bounds every reader applies and a small reading cursor they share, so that
// hostile sizes, short data and overflowing pitches are refused the same way everywhere.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "graphics/image/image.h"
#include "runtime/stream.h"

// A stream as the readers see it: the table and the opaque handle.
struct ImageStream {
    const StreamFunctionTable* functions;
    StreamHandle handle;
};

// Reader contract: 0 when it recognised and decoded the data (the pixel block goes to the caller), -1 otherwise
// (with everything it allocated freed and the image left zeroed).
typedef int (*ImageReaderFunction)(const ImageStream* stream, GraphImage* image);

// Largest width or height any reader accepts, and the largest pixel block (pitch x height) it allocates.
constexpr int kImageMaxDimension = 32768;
constexpr int64_t kImageMaxBytes = 0x10000000;  // 256 MB

// For each reader in order (the further readers first, then BMP, JPEG, PNG, "BGRA", TGA, DDS): seek to 0 and
// call it; the first that returns 0 wins. -1 when none does.
int DecodeImageStream(const ImageStream* stream, GraphImage* image);

// The fixed reader order, null-terminated.
const ImageReaderFunction* GetImageReaderTable();
// Up to 10 readers tried before the fixed ones; nothing registers any here. Returns 0, or -1 when full.
int AddImageReader(ImageReaderFunction reader);
void ClearImageReaders();

int ReadBmpImage(const ImageStream* stream, GraphImage* image);
int ReadJpegImage(const ImageStream* stream, GraphImage* image);
int ReadPngImage(const ImageStream* stream, GraphImage* image);
int ReadBgraImage(const ImageStream* stream, GraphImage* image);
int ReadTgaImage(const ImageStream* stream, GraphImage* image);
int ReadDdsImage(const ImageStream* stream, GraphImage* image);

// ---- Shared by the readers ----
// 1 when width and height are both in 1..kImageMaxDimension and pitch (>= 1) times height stays within
// kImageMaxBytes; else 0.
int ImageSizeIsSane(int64_t width, int64_t height, int64_t pitch);
// A tracked pixel block of pitch x height bytes, or null (after ImageSizeIsSane refused the size or the heap
// refused the block).
void* AllocImagePixels(int64_t width, int64_t height, int64_t pitch);

// Bytes from the current position to the end of the stream (the position is kept); -1 when the stream cannot
// tell.
int64_t ImageStreamRemaining(const ImageStream* stream);
// Reads exactly `bytes` bytes; 1 on success, 0 when the stream ended first.
int ImageStreamReadExact(const ImageStream* stream, void* buffer, size_t bytes);
// Absolute seek; 1 on success.
int ImageStreamSeek(const ImageStream* stream, int64_t offset);
int64_t ImageStreamTell(const ImageStream* stream);

inline uint16_t ReadLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t ReadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
