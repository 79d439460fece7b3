// The reader chain against files written by independent encoders: every format and variant must decode to the
// pixels its encoder was given, in the layout the readers promise; malformed headers are refused without leaving
// memory behind.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "graphics/image/image_reader.h"
#include "runtime/memory.h"
#include "tests/graphics/test_image_fixtures.h"

namespace {

std::string TestName(const ::testing::TestParamInfo<size_t>& info) {
    std::string name;
    for (char c : AllImageFixtures()[info.param].name) name += isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

class EveryFixture : public ::testing::TestWithParam<size_t> {};

TEST_P(EveryFixture, DecodesToTheEncodersPixels) {
    const ImageFixture& f = AllImageFixtures()[GetParam()];
    const int liveBefore = GetTrackedAllocCount();
    VectorStream stream(f.bytes);
    GraphImage image;
    ASSERT_EQ(0, DecodeImageStream(stream.stream(), &image));
    ASSERT_NE(nullptr, image.pixels);
    EXPECT_EQ(f.width, image.width);
    EXPECT_EQ(f.height, image.height);
    EXPECT_EQ(f.bitDepth, image.format.bitDepth);
    EXPECT_EQ(f.bitDepth / 8, image.format.bytesPerPixel);
    EXPECT_GE(image.pitch, image.width * image.format.bytesPerPixel);
    int mismatches = 0;
    for (int y = 0; y < f.height && y < image.height; ++y) {
        for (int x = 0; x < f.width && x < image.width; ++x) {
            uint32_t want = f.argb[static_cast<size_t>(y) * f.width + x];
            uint32_t got = DecodedPixel(image, x, y);
            if (!f.checkAlpha) {
                want |= 0xFF000000u;
                got |= 0xFF000000u;
            }
            if (want != got && mismatches++ < 5) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << "): want 0x" << std::hex << want << " got 0x" << got;
            }
        }
    }
    EXPECT_EQ(0, mismatches);
    ReleaseGraphImage(&image);
    EXPECT_EQ(nullptr, image.pixels);
    EXPECT_EQ(liveBefore, GetTrackedAllocCount());
}

std::vector<size_t> FixtureIndices() {
    std::vector<size_t> v(AllImageFixtures().size());
    for (size_t i = 0; i < v.size(); ++i) v[i] = i;
    return v;
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryFixture, ::testing::ValuesIn(FixtureIndices()), TestName);

GraphImage Decode(const std::vector<uint8_t>& bytes) {
    VectorStream stream(bytes);
    GraphImage image;
    EXPECT_EQ(0, DecodeImageStream(stream.stream(), &image));
    return image;
}

// The layouts the readers hand out, beyond depth and pixels.
TEST(ImageReaderLayouts, MasksAndPitchesAreTheOnesTheFormatsPromise) {
    struct Row {
        const char* fixture;
        uint32_t red, green, blue, alpha, none;
        int pitch;
    };
    const Row rows[] = {
        // DDS format 23 is 5:6:5: green six bits at 5, blue five bits at 0.
        {"dds code 23 (5:6:5)", 0xF800, 0x07E0, 0x001F, 0, 0, 13 * 2},
        {"dds code 20 (R8G8B8) padded rows", 0xFF0000, 0xFF00, 0xFF, 0, 0, 13 * 3 + 5},
        {"bgra 16-bit", 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0, 13 * 4},
        {"tga type 2 16-bit descriptor 0x00", 0x7C00, 0x03E0, 0x001F, 0, 0x8000, 13 * 2},
        {"tga type 9 map 32-bit descriptor 0x30", 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0, 13 * 4},
        {"png grey+alpha 8-bit", 0xFF, 0xFF, 0xFF, 0, 0xFF00, 13 * 2},
        {"png rgb 8-bit", 0xFF0000, 0xFF00, 0xFF, 0, 0, 13 * 3},
        {"jpeg colour", 0xFF0000, 0xFF00, 0xFF, 0, 0, 37 * 3},  // not rounded up
        {"jpeg grey", 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000u, 37},
        {"bmp 24-bit bottom-up", 0xFF0000, 0xFF00, 0xFF, 0, 0, 40},
        {"bmp 4-bit top-down", 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000u, 16},
        {"bmp rle4 bottom-up with a move", 0xFF0000, 0xFF00, 0xFF, 0, 0xFF000000u, 16},
        {"bmp 1-bit bottom-up", 0xFF0000, 0xFF00, 0xFF, 0, 0, 40},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.fixture);
        GraphImage image = Decode(FindImageFixture(r.fixture).bytes);
        EXPECT_EQ(r.red, image.format.redMask);
        EXPECT_EQ(r.green, image.format.greenMask);
        EXPECT_EQ(r.blue, image.format.blueMask);
        EXPECT_EQ(r.alpha, image.format.alphaMask);
        EXPECT_EQ(r.none, image.format.noneMask);
        EXPECT_EQ(r.pitch, image.pitch);
        ReleaseGraphImage(&image);
    }
}

TEST(ImageReaderLayouts, PalettesAreCompletedWithBlackAndClearedReservedBytes) {
    // 16 file entries give 256 entries, 16 to 255 black.
    GraphImage png = Decode(FindImageFixture("png palette 4-bit, 16 entries").bytes);
    ASSERT_EQ(8, png.format.bitDepth);
    EXPECT_NE(0u, *reinterpret_cast<const uint32_t*>(&png.format.palette[15]));
    for (int i = 16; i < 256; ++i) EXPECT_EQ(0u, *reinterpret_cast<const uint32_t*>(&png.format.palette[i])) << i;
    ReleaseGraphImage(&png);

    // The BMP writer puts 0x77 into every reserved byte and a 20-entry table behind a 124-byte header.
    GraphImage bmp = Decode(FindImageFixture("bmp 8-bit v5 header, 20 colours").bytes);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(0, bmp.format.palette[i].reserved) << i;
    for (int i = 20; i < 256; ++i) EXPECT_EQ(0u, *reinterpret_cast<const uint32_t*>(&bmp.format.palette[i])) << i;
    ReleaseGraphImage(&bmp);
}

TEST(ImageReaderLayouts, TheSameBmpStoredEitherWayDecodesAlike) {
    for (const char* depth : {"24-bit", "8-bit", "4-bit", "1-bit", "16-bit 555", "32-bit"}) {
        SCOPED_TRACE(depth);
        GraphImage up = Decode(FindImageFixture(std::string("bmp ") + depth + " bottom-up").bytes);
        GraphImage down = Decode(FindImageFixture(std::string("bmp ") + depth + " top-down").bytes);
        ASSERT_EQ(up.pitch, down.pitch);
        ASSERT_EQ(up.height, down.height);
        EXPECT_EQ(0, memcmp(up.pixels, down.pixels, static_cast<size_t>(up.pitch) * up.height));
        ReleaseGraphImage(&up);
        ReleaseGraphImage(&down);
    }
}

// Runs, moves and literals that reach outside the image are clipped; colour-map entries past 255 are dropped.
TEST(ImageReaderBounds, RunLengthDataReachingOutsideTheImageIsClipped) {
    // A 13 x 7 RLE8 bitmap (bottom-up): a run of 200 pixels on the bottom row, a literal of 20 on the next,
    // a move far below the last row, a run there, then the end.
    std::vector<uint8_t> rle = {200, 5, 0, 0, 0, 20};
    for (int i = 0; i < 20; ++i) rle.push_back(static_cast<uint8_t>(i + 1));
    const uint8_t tail[] = {0, 2, 255, 255, 3, 7, 0, 1};
    rle.insert(rle.end(), tail, tail + sizeof(tail));
    std::vector<uint8_t> file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const uint32_t header[] = {40, 13, 7, 0x00080001, 1, static_cast<uint32_t>(rle.size()), 0, 0, 0, 0};
    file.insert(file.end(), reinterpret_cast<const uint8_t*>(header), reinterpret_cast<const uint8_t*>(header) + 40);
    for (int i = 0; i < 256; ++i) {
        const uint8_t e[] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
        file.insert(file.end(), e, e + 4);
    }
    const uint32_t offset = static_cast<uint32_t>(file.size());
    memcpy(&file[10], &offset, 4);
    file.insert(file.end(), rle.begin(), rle.end());

    const int liveBefore = GetTrackedAllocCount();
    GraphImage image = Decode(file);
    ASSERT_NE(nullptr, image.pixels);
    const uint8_t* p = static_cast<const uint8_t*>(image.pixels);
    for (int x = 0; x < 13; ++x) {
        EXPECT_EQ(5, p[6 * image.pitch + x]) << x;   // bottom row: the run, cut at the row end
        EXPECT_EQ(x + 1, p[5 * image.pitch + x]) << x;  // next row up: the literal, cut likewise
        for (int y = 0; y < 5; ++y) EXPECT_EQ(0, p[y * image.pitch + x]) << x << "," << y;
    }
    ReleaseGraphImage(&image);
    EXPECT_EQ(liveBefore, GetTrackedAllocCount());
}

TEST(ImageReaderBounds, ColourMapEntriesPast255AreDropped) {
    // Type 1, 2 x 1 pixels, map of 10 24-bit entries starting at 250: entries 250..255 are kept.
    std::vector<uint8_t> tga = {0, 1, 1, 250, 0, 10, 0, 24, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0x20};
    for (int i = 0; i < 10; ++i) {
        tga.push_back(static_cast<uint8_t>(i));
        tga.push_back(static_cast<uint8_t>(i * 2));
        tga.push_back(static_cast<uint8_t>(i * 3));
    }
    tga.push_back(255);  // entry 255 = map entry 5
    tga.push_back(0);    // entry 0 = never set: black
    GraphImage image = Decode(tga);
    ASSERT_NE(nullptr, image.pixels);
    EXPECT_EQ(0xFF0F0A05u, DecodedPixel(image, 0, 0));
    EXPECT_EQ(0xFF000000u, DecodedPixel(image, 1, 0));
    ReleaseGraphImage(&image);
}

// Header fields patched into valid fixtures: each variant must be refused and leave nothing allocated.
TEST(ImageReaderBounds, MalformedHeadersAreRefused) {
    struct Patch {
        const char* why;
        const char* fixture;
        size_t offset;
        int bytes;  // 1, 2 or 4
        uint32_t value;
    };
    const Patch patches[] = {
        {"bmp negative width", "bmp 24-bit bottom-up", 18, 4, 0xFFFFFFF3u},
        {"bmp zero height", "bmp 24-bit bottom-up", 22, 4, 0},
        {"bmp most negative height", "bmp 24-bit bottom-up", 22, 4, 0x80000000u},
        {"bmp huge width", "bmp 24-bit bottom-up", 18, 4, 0x7FFFFFFFu},
        {"bmp huge height", "bmp 32-bit bottom-up", 22, 4, 0x00100000u},
        {"bmp bit count 3", "bmp 24-bit bottom-up", 28, 2, 3},
        {"bmp rle8 at 4 bits", "bmp rle4 bottom-up with a move", 30, 4, 1},
        {"bmp core header size", "bmp 24-bit bottom-up", 14, 4, 12},
        {"bmp pixel offset past the end", "bmp 24-bit bottom-up", 10, 4, 0x00FFFFFFu},
        {"bmp taller than its data", "bmp 8-bit bottom-up", 22, 4, 8},
        {"bmp rle taller than allowed", "bmp rle8 bottom-up with a move", 22, 4, 40000},
        {"tga grey type 3", "tga type 2 24-bit descriptor 0x00", 2, 1, 3},
        {"tga type 11", "tga type 10 24-bit descriptor 0x00", 2, 1, 11},
        {"tga x origin", "tga type 2 24-bit descriptor 0x00", 8, 2, 1},
        {"tga y origin", "tga type 2 24-bit descriptor 0x00", 10, 2, 1},
        {"tga width 4096", "tga type 2 24-bit descriptor 0x00", 12, 2, 4096},
        {"tga height 0", "tga type 2 24-bit descriptor 0x00", 14, 2, 0},
        {"tga 8-bit true colour", "tga type 2 24-bit descriptor 0x00", 16, 1, 8},
        {"tga taller than its data", "tga type 2 24-bit descriptor 0x00", 14, 2, 8},
        {"tga mapped with 16-bit indices", "tga type 1 map 24-bit descriptor 0x00", 16, 1, 16},
        {"tga runs shorter than the image", "tga type 10 24-bit descriptor 0x00", 14, 2, 70},
        {"dds pitch smaller than a row", "dds code 20 (R8G8B8) padded rows", 4 + 16, 4, 13 * 3 - 1},
        {"dds zero height", "dds code 21 (A8R8G8B8)", 4 + 8, 4, 0},
        {"dds negative width", "dds code 21 (A8R8G8B8)", 4 + 12, 4, 0xFFFFFFF3u},
        {"dds pitch times height overflowing", "dds code 20 (R8G8B8) padded rows", 4 + 16, 4, 0x7FFFFFFFu},
        {"dds unknown format code", "dds code 21 (A8R8G8B8)", 4 + 80, 4, 28},
        {"dds bit count 12", "dds rgb masks 24-bit padded rows", 4 + 84, 4, 12},
        {"dds taller than its data", "dds code 21 (A8R8G8B8)", 4 + 8, 4, 8},
        {"bgra other layout", "bgra 8-bit", 4, 4, 0x08080800u},
        {"bgra zero width", "bgra 8-bit", 8, 4, 0},
        {"bgra negative height", "bgra 8-bit", 12, 4, 0xFFFFFFF9u},
        {"bgra size overflowing", "bgra 8-bit", 8, 4, 0x40000001u},
        {"bgra taller than its data", "bgra 16-bit", 12, 4, 8},
    };
    for (const Patch& p : patches) {
        SCOPED_TRACE(p.why);
        std::vector<uint8_t> bytes = FindImageFixture(p.fixture).bytes;
        for (int i = 0; i < p.bytes; ++i) bytes[p.offset + i] = static_cast<uint8_t>(p.value >> (8 * i));
        const int liveBefore = GetTrackedAllocCount();
        VectorStream stream(bytes);
        GraphImage image;
        memset(&image, 0xCD, sizeof(image));
        EXPECT_EQ(-1, DecodeImageStream(stream.stream(), &image));
        EXPECT_EQ(nullptr, image.pixels);
        EXPECT_EQ(0, image.width);
        EXPECT_EQ(liveBefore, GetTrackedAllocCount());
    }
}

TEST(ImageReaderBounds, EmptyAndForeignStreamsAreRefused) {
    const std::vector<std::vector<uint8_t>> inputs = {
        {},
        {0xFF, 0xD8},                                    // a JPEG start and nothing else
        {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},   // a PNG signature and nothing else
        {'B', 'M'},
        {'D', 'D', 'S', ' ', 124, 0},
        std::vector<uint8_t>(300, 0),                    // zeros: a TGA header of type 0
    };
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(i);
        const int liveBefore = GetTrackedAllocCount();
        VectorStream stream(inputs[i]);
        GraphImage image;
        EXPECT_EQ(-1, DecodeImageStream(stream.stream(), &image));
        EXPECT_EQ(liveBefore, GetTrackedAllocCount());
    }
}

// A reader registered ahead of the fixed ones is tried first; the fixed order follows.
int g_extraCalls = 0;
int RefuseEverything(const ImageStream*, GraphImage*) {
    ++g_extraCalls;
    return -1;
}

TEST(ImageReaderChain, FurtherReadersComeFirstAndTheFixedOrderFollows) {
    const ImageReaderFunction* table = GetImageReaderTable();
    const ImageReaderFunction expected[] = {ReadBmpImage, ReadJpegImage, ReadPngImage, ReadBgraImage, ReadTgaImage,
                                            ReadDdsImage, nullptr};
    for (size_t i = 0; i < sizeof(expected) / sizeof(expected[0]); ++i) EXPECT_EQ(expected[i], table[i]) << i;

    g_extraCalls = 0;
    ASSERT_EQ(0, AddImageReader(RefuseEverything));
    GraphImage image = Decode(FindImageFixture("bgra 8-bit").bytes);
    EXPECT_EQ(1, g_extraCalls);
    EXPECT_EQ(13, image.width);
    ReleaseGraphImage(&image);
    ClearImageReaders();
}

}  // namespace
