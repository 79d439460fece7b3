// Image loading above the readers: the "_a" companion names, images and companions from memory, from a folder on
// the disk and from a packed archive standing for a folder, the graph loader's refusals, the layout a graph is
// asked for, the decoded-image helpers and bitmaps made from images.
#include <gtest/gtest.h>

#include <windows.h>
#include <string.h>

#include <string>
#include <vector>

#include "graphics/image/image.h"
#include "graphics/image/image_reader.h"
#include "runtime/archive/archive.h"
#include "runtime/archive/archive_writer.h"
#include "runtime/file.h"
#include "runtime/memory.h"
#include "runtime/stream.h"
#include "runtime/window.h"
#include "tests/graphics/test_image_fixtures.h"
#include "tests/runtime/test_log_fixture.h"

namespace {

TEST(ImageCompanionName, UnderscoreAGoesBeforeTheLastDot) {
    struct Row {
        const char* name;
        const char* companion;
    };
    const Row rows[] = {
        {"res/x.png", "res/x_a.png"},
        {"data", "data_a"},
        {"a.b/c", "a_a.b/c"},  // the only dot is in a folder name
        {"pics.v2\\back.tar.jpg", "pics.v2\\back.tar_a.jpg"},
        {".png", "_a.png"},
        {"\x83\x5C\x83\x8C.png", "\x83\x5C\x83\x8C_a.png"},  // Shift-JIS text whose trail byte is a backslash
    };
    for (const Row& r : rows) {
        char out[64];
        ASSERT_EQ(0, MakeAlphaCompanionName(r.name, out, sizeof(out))) << r.name;
        EXPECT_STREQ(r.companion, out);
    }
    char out[16];
    EXPECT_EQ(0, MakeAlphaCompanionName("abc.png", out, 10));  // "abc_a.png" and its NUL: 10 bytes
    EXPECT_EQ(-1, MakeAlphaCompanionName("abc.png", out, 9));
}

std::vector<uint32_t> Solid(int w, int h, uint32_t seed) {
    std::vector<uint32_t> v(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < v.size(); ++i) v[i] = 0xFF000000u | ((seed + static_cast<uint32_t>(i) * 0x010203u) & 0xFFFFFF);
    return v;
}

// Also a log fixture: the graph loader reports its refusals in the log.
class ImageFiles : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        ArchiveTableClear();
        SelectFileBackEnd(nullptr);
        InitStreamFunctionTables();
        ArchiveSetExtensionImpl(nullptr);
        char temp[MAX_PATH];
        GetTempPathA(sizeof(temp), temp);
        root_ = std::string(temp) + "kv_image_load_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(root_.c_str(), nullptr);
        CreateDirectoryA((root_ + "\\disk").c_str(), nullptr);
        // The graph loader waits while the application is inactive; no window runs here.
        wasActive_ = IsAppActive();
        SetAppActive(1);
        liveBefore_ = GetTrackedAllocCount();
    }
    void TearDown() override {
        SetAppActive(wasActive_);
        ArchiveReleaseAll();
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            if (!DeleteFileA(it->c_str())) RemoveDirectoryA(it->c_str());
        }
        RemoveDirectoryA((root_ + "\\disk").c_str());
        RemoveDirectoryA(root_.c_str());
        LogFileTest::TearDown();
    }
    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }
    void Write(const std::string& relative, const std::vector<uint8_t>& bytes) {
        const std::string path = Path(relative);
        ASSERT_TRUE(WriteBytesToFile(path, bytes)) << path;
        made_.push_back(path);
    }
    void MakeDirectory(const std::string& relative) {
        CreateDirectoryA(Path(relative).c_str(), nullptr);
        made_.push_back(Path(relative));
    }
    void WriteArchive(const std::string& relative,
                      const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files) {
        ArchiveMemorySink sink;
        ArchiveWriter writer(&sink, ArchiveWriterOptions());
        for (const auto& f : files) ASSERT_EQ(0, writer.AddFile(f.first.c_str(), f.second.data(), f.second.size(), {}));
        ASSERT_EQ(0, writer.Finish()) << writer.Error();
        Write(relative, std::vector<uint8_t>(sink.bytes.begin(), sink.bytes.end()));
    }

    std::string root_;
    std::vector<std::string> made_;
    // Blocks still held once every archive is closed again (archives stay open between reads).
    int LiveBlocksAfterClosingArchives() {
        ArchiveReleaseAll();
        return GetTrackedAllocCount();
    }

    int liveBefore_ = 0;
    int wasActive_ = 0;
};

TEST_F(ImageFiles, ImagesAndCompanionsComeFromFoldersAndArchives) {
    const std::vector<uint8_t> pic = EncodePngRgba(6, 4, Solid(6, 4, 0x102030), false);
    const std::vector<uint8_t> picAlpha = EncodePngRgba(6, 4, Solid(6, 4, 0x808080), false);
    const std::vector<uint8_t> solo = FindImageFixture("bmp 8-bit bottom-up").bytes;
    const std::vector<uint8_t> odd = EncodePngRgba(5, 4, Solid(5, 4, 0x404040), false);
    Write("disk\\pic.png", pic);
    Write("disk\\pic_a.png", picAlpha);
    Write("disk\\solo.png", solo);  // a BMP under another extension: the readers go by content
    Write("disk\\odd.png", pic);
    Write("disk\\odd_a.png", odd);
    WriteArchive("pack.QVA", {{"pic.png", pic}, {"pic_a.png", picAlpha}, {"sub\\solo.bmp", solo}});
    MakeDirectory("pack");
    Write("pack\\ondisk.png", pic);  // the archive covers its folder: this file is not looked for on the disk

    struct Row {
        const char* path;
        int result;
        int width;  // of the image; 0 when none
        int alphaWidth;
    };
    const Row rows[] = {
        {"disk\\pic.png", 0, 6, 6},
        {"disk\\solo.png", 1, 13, 0},
        {"disk\\missing.png", -1, 0, 0},
        {"disk\\odd.png", 0, 6, 5},  // loaded; the graph maker refuses the pair
        {"pack\\pic.png", 0, 6, 6},
        {"pack\\sub\\solo.bmp", 1, 13, 0},
        {"PACK\\SUB\\SOLO.BMP", 1, 13, 0},
        {"pack\\missing.png", -1, 0, 0},
        {"pack\\ondisk.png", -1, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        GraphImage image, alpha;
        const int result = LoadImageWithAlphaFile(Path(r.path).c_str(), nullptr, 0, nullptr, 0, 0, &image, &alpha);
        EXPECT_EQ(r.result, result);
        EXPECT_EQ(r.width, image.width);
        EXPECT_EQ(r.alphaWidth, alpha.width);
        if (r.width == 6) {
            EXPECT_EQ(Solid(6, 4, 0x102030)[7] & 0xFFFFFF, DecodedPixel(image, 1, 1) & 0xFFFFFF);
        }
        if (r.alphaWidth == 6) {
            EXPECT_EQ(Solid(6, 4, 0x808080)[7] & 0xFFFFFF, DecodedPixel(alpha, 1, 1) & 0xFFFFFF);
        }
        ReleaseGraphImage(&image);
        ReleaseGraphImage(&alpha);
    }
    EXPECT_EQ(0, VfsOpenFileCount());
    EXPECT_EQ(liveBefore_, LiveBlocksAfterClosingArchives());
}

TEST_F(ImageFiles, TheGraphLoaderRefusesWhatCannotBecomeAGraphAndKeepsNothing) {
    Write("disk\\notanimage.png", std::vector<uint8_t>(300, 0x42));
    Write("disk\\pic.png", EncodePngRgba(6, 4, Solid(6, 4, 1), false));
    Write("disk\\pic_a.png", EncodePngRgba(3, 4, Solid(3, 4, 2), false));
    // Missing, undecodable (no movie either), and an image whose companion has another size; the first two say
    // so in the log, one line each.
    struct Row {
        const char* name;
        const char* logged;  // the line before and after the path, or null
        const char* after;
    } rows[] = {
        {"disk\\missing.png", "グラフィックファイル ", " がありません\r\n"},
        {"disk\\notanimage.png", "右記のグラフィックファイルのロードに失敗しました：", " \r\n"},
        {"disk\\pic.png", nullptr, nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ResetLog();
        EXPECT_EQ(-1, LoadGraphFromFileImpl(Path(r.name).c_str(), 0));
        EXPECT_EQ(0, VfsOpenFileCount());
        EXPECT_EQ(liveBefore_, LiveBlocksAfterClosingArchives());
        if (r.logged != nullptr) {
            const std::string line = std::string(r.logged) + Path(r.name) + r.after;
            const std::string log = ReadLog();
            EXPECT_NE(log.find(line), std::string::npos) << log;
            EXPECT_EQ(log.find("\r\n\r\n"), std::string::npos) << log;
        }
    }
}

TEST(ImageLoadMemory, CompanionFromAMemoryBlock) {
    const std::vector<uint8_t> image = FindImageFixture("bgra 8-bit").bytes;
    const std::vector<uint8_t> alphaBytes = FindImageFixture("png grey 8-bit").bytes;
    const std::vector<uint8_t> junk(64, 0x11);
    const int liveBefore = GetTrackedAllocCount();
    struct Row {
        const std::vector<uint8_t>* image;
        const std::vector<uint8_t>* alpha;
        int result;
    };
    const Row rows[] = {
        {&image, &alphaBytes, 0},
        {&image, nullptr, 1},
        {&image, &junk, 1},
        {&junk, &alphaBytes, -1},
    };
    for (const Row& r : rows) {
        GraphImage out, alpha;
        memset(&out, 0xCD, sizeof(out));
        memset(&alpha, 0xCD, sizeof(alpha));
        const int result = LoadImageWithAlphaFile(nullptr, r.image->data(), static_cast<int>(r.image->size()),
                                                  r.alpha ? r.alpha->data() : nullptr,
                                                  r.alpha ? static_cast<int>(r.alpha->size()) : 0, 0, &out, &alpha);
        EXPECT_EQ(r.result, result);
        EXPECT_EQ(r.result != -1, out.pixels != nullptr);
        EXPECT_EQ(r.result == 0, alpha.pixels != nullptr);
        if (r.result == 0) {
            EXPECT_EQ(8, alpha.format.bitDepth);
        }
        ReleaseGraphImage(&out);
        ReleaseGraphImage(&alpha);
    }
    EXPECT_EQ(liveBefore, GetTrackedAllocCount());
}

TEST(ImageLoadMemory, TheRestoreRoadWritesRedIntoAlpha) {
    const ImageFixture& f = FindImageFixture("bgra 8-bit");
    GraphImage image;
    ASSERT_EQ(0, LoadImageToGraphImage(nullptr, f.bytes.data(), static_cast<int>(f.bytes.size()), 1, 0, 1, &image,
                                       nullptr, nullptr));
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            const uint32_t c = DecodedPixel(image, x, y);
            const uint32_t want = f.argb[static_cast<size_t>(y) * f.width + x];
            EXPECT_EQ(want & 0xFFFFFF, c & 0xFFFFFF);
            EXPECT_EQ((want >> 16) & 0xFF, c >> 24);
        }
    }
    ReleaseGraphImage(&image);
}

TEST(ImageGraphPair, LayoutAskedOfTheGraphLayer) {
    GraphImage rgb = {}, argb = {}, palette = {}, alpha = {}, narrow = {};
    SetRgb24ColorFormat(&rgb.format);
    SetColorFormatFromMasksImpl(&argb.format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
    SetPaletteColorFormat(&palette.format);
    SetGreyPaletteColorFormat(&alpha.format);
    SetGreyPaletteColorFormat(&narrow.format);
    static uint8_t pixels[4];
    for (GraphImage* g : {&rgb, &argb, &palette, &alpha, &narrow}) {
        g->width = 8;
        g->height = 4;
        g->pixels = pixels;
    }
    narrow.width = 7;
    struct Row {
        const char* what;
        const GraphImage* image;
        const GraphImage* alpha;
        int result, alphaChannel, paletteImage;
    };
    const Row rows[] = {
        {"24-bit", &rgb, nullptr, 0, 0, 0},
        {"32-bit with alpha bits", &argb, nullptr, 0, 1, 0},
        {"palette", &palette, nullptr, 0, 0, 1},
        {"palette with an alpha image", &palette, &alpha, 0, 1, 0},
        {"24-bit with an alpha image", &rgb, &alpha, 0, 1, 0},
        {"alpha image one pixel narrower", &rgb, &narrow, -1, -1, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        int alphaChannel = -1, paletteImage = -1;
        EXPECT_EQ(r.result, GraphImagePairLayout(r.image, r.alpha, &alphaChannel, &paletteImage));
        EXPECT_EQ(r.alphaChannel, alphaChannel);
        EXPECT_EQ(r.paletteImage, paletteImage);
    }
}

// ---- Decoded-image helpers ----

TEST(GraphImageHelpers, CreateGivesA24BitImageWithRowsPaddedToFour) {
    const int widths[][2] = {{1, 4}, {3, 12}, {4, 12}, {13, 40}, {640, 1920}};
    for (const auto& w : widths) {
        GraphImage image;
        ASSERT_EQ(0, CreateGraphImage(w[0], 3, &image));
        EXPECT_EQ(w[1], image.pitch) << w[0];
        EXPECT_EQ(24, image.format.bitDepth);
        EXPECT_EQ(0xFF0000u, image.format.redMask);
        ReleaseGraphImage(&image);
        EXPECT_EQ(nullptr, image.pixels);
        EXPECT_EQ(0, image.width);
    }
    GraphImage image;
    EXPECT_EQ(-1, CreateGraphImage(0, 3, &image));
    EXPECT_EQ(-1, CreateGraphImage(5, -1, &image));
    EXPECT_EQ(-1, CreateGraphImage(0x40000000, 0x40000000, &image));
    EXPECT_EQ(nullptr, image.pixels);
}

TEST(GraphImageHelpers, FillThenReadBackInEveryLayout) {
    struct Row {
        const char* what;
        int bits;
        uint32_t r, g, b, a;
        uint32_t filled;  // what a pixel holds after filling with (0xC8, 0x64, 0x32, 0x80)
        unsigned int read;
    };
    const Row rows[] = {
        {"5:6:5", 16, 0xF800, 0x07E0, 0x001F, 0, 0xCB26, 0x00C86430u},
        {"1:5:5:5 with alpha", 16, 0x7C00, 0x03E0, 0x001F, 0x8000, 0xE586, 0x80C86030u},
        {"24-bit", 24, 0xFF0000, 0xFF00, 0xFF, 0, 0xC86432, 0x00C86432u},
        {"A8R8G8B8", 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0x80C86432u, 0x80C86432u},
        // Ten-bit channels keep their top eight bits when read.
        {"A2R10G10B10", 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000u, 0xB22644C8u, 0x80C86432u},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        GraphImage image = {};
        SetColorFormatFromMasksImpl(&image.format, row.bits, row.r, row.g, row.b, row.a);
        image.width = 3;
        image.height = 2;
        image.pitch = 3 * row.bits / 8 + 2;
        std::vector<uint8_t> pixels(static_cast<size_t>(image.pitch) * 2, 0xEE);
        image.pixels = pixels.data();
        ASSERT_EQ(0, FillGraphImage(&image, 0xC8, 0x64, 0x32, 0x80));
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) {
                uint32_t v = 0;
                for (int i = 0; i < row.bits / 8; ++i) v |= pixels[y * image.pitch + x * row.bits / 8 + i] << (8 * i);
                EXPECT_EQ(row.filled, v) << x << "," << y;
                EXPECT_EQ(row.read, GetGraphImagePixel(&image, x, y)) << x << "," << y;
            }
            EXPECT_EQ(0xEE, pixels[y * image.pitch + image.pitch - 1]);  // padding untouched
        }
        EXPECT_EQ(0u, GetGraphImagePixel(&image, 3, 0));
        EXPECT_EQ(0u, GetGraphImagePixel(&image, 0, -1));
    }
    GraphImage empty = {};
    EXPECT_EQ(0u, GetGraphImagePixel(&empty, 0, 0));
    EXPECT_EQ(-1, FillGraphImage(&empty, 1, 2, 3, 4));
}

TEST(GraphImageHelpers, MirrorReversesEveryRowAtEveryPixelSize) {
    for (int bytes = 1; bytes <= 4; ++bytes) {
        SCOPED_TRACE(bytes);
        GraphImage image = {};
        SetColorFormatFromMasksImpl(&image.format, bytes * 8, 0, 0, 0, 0);
        image.width = 5;
        image.height = 2;
        image.pitch = 5 * bytes + 3;
        std::vector<uint8_t> pixels(static_cast<size_t>(image.pitch) * 2);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i);
        const std::vector<uint8_t> before = pixels;
        image.pixels = pixels.data();
        ASSERT_EQ(0, MirrorGraphImage(&image));
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 5; ++x) {
                for (int i = 0; i < bytes; ++i) {
                    EXPECT_EQ(before[y * image.pitch + (4 - x) * bytes + i], pixels[y * image.pitch + x * bytes + i]);
                }
            }
            for (int i = 5 * bytes; i < image.pitch; ++i) EXPECT_EQ(before[y * image.pitch + i], pixels[y * image.pitch + i]);
        }
        image.width = 0;
        EXPECT_EQ(-1, MirrorGraphImage(&image));
    }
}

// ---- Bitmaps ----

std::vector<uint32_t> ReadBitmap(HBITMAP bitmap, int width, int height) {
    std::vector<uint32_t> out(static_cast<size_t>(width) * height);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(height, GetDIBits(dc, bitmap, 0, height, out.data(), &info, DIB_RGB_COLORS));
    DeleteDC(dc);
    return out;
}

TEST(ImageBitmaps, DibFromAnImageMatchesItAndReverseMirrorsIt) {
    const int w = 7, h = 3;
    const std::vector<uint32_t> argb = Solid(w, h, 0x203040);
    const std::vector<uint8_t> png = EncodePngRgba(w, h, argb, false);
    const int liveBefore = GetTrackedAllocCount();
    for (int reverse = 0; reverse < 2; ++reverse) {
        SCOPED_TRACE(reverse);
        HBITMAP bitmap = CreateDIBGraph(nullptr, png.data(), static_cast<int>(png.size()), reverse);
        ASSERT_NE(nullptr, bitmap);
        BITMAP described;
        ASSERT_NE(0, GetObject(bitmap, sizeof(described), &described));
        EXPECT_EQ(w, described.bmWidth);
        EXPECT_EQ(h, described.bmHeight);
        const std::vector<uint32_t> got = ReadBitmap(bitmap, w, h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int sx = reverse ? w - 1 - x : x;
                EXPECT_EQ(argb[static_cast<size_t>(y) * w + sx] & 0xFFFFFF, got[static_cast<size_t>(y) * w + x] & 0xFFFFFF)
                    << x << "," << y;
            }
        }
        DeleteObject(bitmap);
    }
    EXPECT_EQ(nullptr, CreateDIBGraph(nullptr, "junk", 4, 0));
    EXPECT_EQ(liveBefore, GetTrackedAllocCount());
}

TEST(ImageBitmaps, PaletteImagesKeepTheirIndicesOtherLayoutsBecome24Bit) {
    struct Row {
        const char* fixture;
        int bits;
    };
    for (const Row& r : {Row{"png palette 8-bit", 8}, Row{"dds code 23 (5:6:5)", 24}, Row{"bgra 8-bit", 24}}) {
        SCOPED_TRACE(r.fixture);
        const ImageFixture& f = FindImageFixture(r.fixture);
        GraphImage image;
        VectorStream stream(f.bytes);
        ASSERT_EQ(0, DecodeImageStream(stream.stream(), &image));
        BITMAPINFO* info = nullptr;
        void* bits = nullptr;
        ASSERT_EQ(0, GraphImageTo24Bit(&image, &info, &bits));
        EXPECT_EQ(r.bits, info->bmiHeader.biBitCount);
        EXPECT_EQ(f.width, info->bmiHeader.biWidth);
        EXPECT_EQ(-f.height, info->bmiHeader.biHeight);
        const int pitch = (f.width * r.bits / 8 + 3) & ~3;
        const uint8_t* p = static_cast<const uint8_t*>(bits);
        for (int y = 0; y < f.height; ++y) {
            for (int x = 0; x < f.width; ++x) {
                uint32_t c;
                if (r.bits == 8) {
                    const RGBQUAD& q = info->bmiColors[p[y * pitch + x]];
                    c = (q.rgbRed << 16) | (q.rgbGreen << 8) | q.rgbBlue;
                    EXPECT_EQ(static_cast<const uint8_t*>(image.pixels)[y * image.pitch + x], p[y * pitch + x]);
                } else {
                    const uint8_t* px = p + y * pitch + x * 3;
                    c = (px[2] << 16) | (px[1] << 8) | px[0];
                }
                // 5- and 6-bit channels are widened by the conversion: compare their top bits.
                const uint32_t mask = r.fixture[0] == 'd' ? 0xF8FCF8u : 0xFFFFFFu;
                EXPECT_EQ(f.argb[static_cast<size_t>(y) * f.width + x] & mask, c & mask) << x << "," << y;
            }
        }
        KV_FREE(info);
        ReleaseGraphImage(&image);
    }
}

}  // namespace
