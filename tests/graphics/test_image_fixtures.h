// Image fixtures for the reader tests: every format and variant the readers handle, written by independent
// encoders (libpng's and libjpeg's own, and small test-side writers for the simple formats), each with the pixels
// it must decode to. Also a stream over a byte vector and a test-side reading of a decoded pixel.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "graphics/image/image_reader.h"

struct ImageFixture {
    std::string name;
    std::vector<uint8_t> bytes;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;  // expected pixels, 0xAARRGGBB, rows top to bottom
    int bitDepth = 0;            // depth of the decoded image
    bool checkAlpha = false;     // compare alpha too
    // Truncations shorter than this must fail; longer ones may decode (a trailing footer, a JPEG cut short).
    size_t minimalPrefix = 0;
    // A truncation that decodes must still give exactly the expected pixels.
    bool exactWhenTruncated = true;
};

// Every fixture of the format table.
const std::vector<ImageFixture>& AllImageFixtures();
const ImageFixture& FindImageFixture(const std::string& name);

// A read cursor over bytes, served through a StreamFunctionTable that keeps the stream contract (whole elements,
// clamped seeks).
class VectorStream {
public:
    explicit VectorStream(const std::vector<uint8_t>& bytes) : data_(bytes.data()), size_(bytes.size()) {
        stream_.functions = Table();
        stream_.handle = reinterpret_cast<StreamHandle>(this);
    }
    VectorStream(const uint8_t* data, size_t size) : data_(data), size_(size) {
        stream_.functions = Table();
        stream_.handle = reinterpret_cast<StreamHandle>(this);
    }
    const ImageStream* stream() const { return &stream_; }

private:
    static const StreamFunctionTable* Table();
    static VectorStream* Of(StreamHandle h) { return reinterpret_cast<VectorStream*>(h); }
    static int Tell(StreamHandle h);
    static int Seek(StreamHandle h, int offset, int origin);
    static size_t Read(void* buffer, size_t size, size_t count, StreamHandle h);
    static int Eof(StreamHandle h);
    static int Idle(StreamHandle h);
    static int Close(StreamHandle h);

    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    int end_ = 0;
    ImageStream stream_;
};

// The colour of a decoded pixel as 0xAARRGGBB, read by the test from the image's own layout: palette entries
// for 8-bit images, channels widened to 8 bits by shifting (low bits zero) otherwise; alpha 0xFF when the format
// has none.
uint32_t DecodedPixel(const GraphImage& image, int x, int y);

// Writes the bytes to a new file at `path` (replacing one there); false when the file cannot be created.
bool WriteBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Encoders the fixtures use, for tests that need a file of their own.
std::vector<uint8_t> EncodePngRgba(int width, int height, const std::vector<uint32_t>& argb, bool withAlpha);
std::vector<uint8_t> EncodeJpegRgb(int width, int height, const std::vector<uint32_t>& argb, int quality);
std::vector<uint8_t> EncodeBgra8(int width, int height, const std::vector<uint32_t>& argb);
