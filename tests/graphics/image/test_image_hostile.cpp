// Hostile input for the reader chain: every fixture cut short at many offsets, and a deterministic loop of
// corrupted variants of each. Every case must either be refused (-1, image zeroed, no tracked block left) or
// decode to a consistent image; nothing may crash, hang or leak.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <vector>

#include "graphics/image/image_reader.h"
#include "runtime/memory.h"
#include "tests/graphics/test_image_fixtures.h"

namespace {

struct Lcg {
    uint64_t state;
    uint32_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    }
    uint32_t below(uint32_t n) { return n ? next() % n : 0; }
};

// Reads every pixel byte of a decoded image, so a block shorter than pitch x height would be noticed by the heap.
uint32_t TouchPixels(const GraphImage& image) {
    uint32_t sum = 0;
    const uint8_t* p = static_cast<const uint8_t*>(image.pixels);
    for (size_t i = 0; i < static_cast<size_t>(image.pitch) * image.height; ++i) sum += p[i];
    return sum;
}

void ExpectConsistent(const GraphImage& image) {
    ASSERT_NE(nullptr, image.pixels);
    ASSERT_GE(image.width, 1);
    ASSERT_GE(image.height, 1);
    ASSERT_LE(image.width, kImageMaxDimension);
    ASSERT_LE(image.height, kImageMaxDimension);
    ASSERT_GE(image.format.bytesPerPixel, 1);
    ASSERT_GE(image.pitch, image.width * image.format.bytesPerPixel);
    TouchPixels(image);
}

std::vector<size_t> CutOffsets(size_t size) {
    std::vector<size_t> cuts;
    for (size_t n = 0; n < size; ++n) {
        // Every offset in the headers and near the end, a spread in between.
        if (n < 160 || n + 48 >= size || n % 7 == 0) cuts.push_back(n);
    }
    return cuts;
}

TEST(ImageHostileInput, TruncatedFilesAreRefusedOrDecodeConsistently) {
    for (const ImageFixture& f : AllImageFixtures()) {
        SCOPED_TRACE(f.name);
        VectorStream whole(f.bytes);
        GraphImage reference;
        ASSERT_EQ(0, DecodeImageStream(whole.stream(), &reference));
        const int liveBefore = GetTrackedAllocCount();
        int failures = 0;
        for (size_t n : CutOffsets(f.bytes.size())) {
            VectorStream cut(f.bytes.data(), n);
            GraphImage image;
            const int result = DecodeImageStream(cut.stream(), &image);
            if (result != 0) {
                EXPECT_EQ(-1, result);
                EXPECT_EQ(nullptr, image.pixels);
            } else {
                if (n < f.minimalPrefix && failures++ < 3) ADD_FAILURE() << "decoded although cut at " << n;
                EXPECT_EQ(reference.width, image.width) << n;
                EXPECT_EQ(reference.height, image.height) << n;
                ExpectConsistent(image);
                if (f.exactWhenTruncated && image.pitch == reference.pitch && image.height == reference.height &&
                    memcmp(image.pixels, reference.pixels, static_cast<size_t>(image.pitch) * image.height) != 0 &&
                    failures++ < 3) {
                    ADD_FAILURE() << "cut at " << n << " decoded to other pixels";
                }
                ReleaseGraphImage(&image);
            }
            if (GetTrackedAllocCount() != liveBefore) {
                ADD_FAILURE() << "tracked blocks left after a cut at " << n;
                break;
            }
        }
        ReleaseGraphImage(&reference);
    }
}

TEST(ImageHostileInput, EmptyJpegIsAnErrorButOneCutAfterItsHeadersDecodes) {
    // An empty stream is an error; a JPEG cut short after its headers is ended by the inserted end-of-image
    // marker and decodes to an image of the full size.
    const ImageFixture& f = FindImageFixture("jpeg colour");
    VectorStream empty(f.bytes.data(), 0);
    GraphImage image;
    EXPECT_EQ(-1, DecodeImageStream(empty.stream(), &image));
    VectorStream half(f.bytes.data(), f.minimalPrefix + (f.bytes.size() - f.minimalPrefix) / 2);
    ASSERT_EQ(0, DecodeImageStream(half.stream(), &image));
    EXPECT_EQ(f.width, image.width);
    EXPECT_EQ(f.height, image.height);
    // The top-left block came before the cut: it matches the complete decode.
    EXPECT_EQ(f.argb[0] & 0xFFFFFF, DecodedPixel(image, 0, 0) & 0xFFFFFF);
    ReleaseGraphImage(&image);
}

TEST(ImageHostileInput, CorruptedVariantsNeverCrashOrLeak) {
    static const uint32_t kExtremes[] = {0, 1, 0xFF, 0xFFFF, 0x10000, 0x7FFF, 0x8000, 0x7FFFFFFF,
                                         0x80000000u, 0xFFFFFFFFu, 0x1000, 0xFFFFFFF0u};
    Lcg rng{0x4B61766F72696E00ull};
    int decoded = 0, refused = 0;
    for (const ImageFixture& f : AllImageFixtures()) {
        SCOPED_TRACE(f.name);
        const int liveBefore = GetTrackedAllocCount();
        for (int round = 0; round < 250; ++round) {
            std::vector<uint8_t> bytes = f.bytes;
            const int edits = 1 + static_cast<int>(rng.below(4));
            for (int e = 0; e < edits && !bytes.empty(); ++e) {
                // Headers hold most of what a reader trusts: aim half of the edits at the first 160 bytes.
                const size_t span = rng.below(2) ? std::min<size_t>(bytes.size(), 160) : bytes.size();
                const size_t at = rng.below(static_cast<uint32_t>(span));
                switch (rng.below(5)) {
                    case 0: bytes[at] ^= static_cast<uint8_t>(1u << rng.below(8)); break;
                    case 1: bytes[at] = static_cast<uint8_t>(rng.next()); break;
                    case 2: {
                        const uint32_t v = kExtremes[rng.below(sizeof(kExtremes) / sizeof(kExtremes[0]))];
                        for (size_t i = 0; i < 4 && at + i < bytes.size(); ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
                        break;
                    }
                    case 3: bytes.resize(rng.below(static_cast<uint32_t>(bytes.size()))); break;
                    default: bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(at), static_cast<uint8_t>(rng.next())); break;
                }
            }
            VectorStream stream(bytes);
            GraphImage image;
            if (DecodeImageStream(stream.stream(), &image) == 0) {
                ++decoded;
                ExpectConsistent(image);
                ReleaseGraphImage(&image);
            } else {
                ++refused;
                EXPECT_EQ(nullptr, image.pixels);
            }
            if (GetTrackedAllocCount() != liveBefore) {
                ADD_FAILURE() << "tracked blocks left after round " << round;
                break;
            }
        }
    }
    // Both outcomes occur: the loop really exercises the error paths and the decoders.
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);
}

}  // namespace
