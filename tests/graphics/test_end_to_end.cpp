// The runtime as a program of the game's kind uses it, seen where a user sees it: a PNG with an alpha channel and a
// JPEG are loaded out of a packed archive, drawn over a coloured backdrop in each of the five blend modes, presented
// to the window, and the window's own pixels are compared with the picture the blend formulas give.
#include "tests/graphics/test_draw_support.h"

#include <algorithm>
#include <string>
#include <vector>

#include "graphics/graphics.h"
#include "runtime/archive/archive_writer.h"
#include "runtime/window.h"
#include "tests/graphics/test_image_fixtures.h"

namespace {

constexpr int kW = 32, kH = 24;
constexpr uint32_t kBackdrop = 0x806040;
constexpr int kParameter = 160;

uint32_t PngPixel(int x, int y) {  // 0xAARRGGBB; the right half is half transparent
    const uint32_t alpha = x < kW / 2 ? 0xFF : 0x80;
    return alpha << 24 | static_cast<uint32_t>(0x30 + x * 6) << 16 | static_cast<uint32_t>(0x40 + y * 7) << 8 | 0xC0;
}
uint32_t JpegPixel(int x, int y) {  // smooth, so that the lossy coding stays close; never black
    return 0xFF000000u | static_cast<uint32_t>(0x60 + x * 3) << 16 | static_cast<uint32_t>(0xA0 - y * 2) << 8 | 0x50;
}

template <typename Fn>
std::vector<uint32_t> Pixels(Fn fn) {
    std::vector<uint32_t> v;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) v.push_back(fn(x, y));
    }
    return v;
}

// One channel of a source pixel (colour s, alpha a out of 255) blended onto d in a blend mode.
int BlendChannel(int mode, int s, int a, int d) {
    const int weight = mode == 0 ? a : a * kParameter / 255;
    switch (mode) {
        case 0:
        case 1: return d + (s - d) * weight / 255;
        case 2: return std::min(255, d + s * weight / 255);
        case 3: return std::max(0, d - s * weight / 255);
        default: return d * s / 255;  // multiply leaves alpha out
    }
}

uint32_t BlendPixel(int mode, uint32_t argb, uint32_t dst) {
    const int a = static_cast<int>(argb >> 24);
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        out |= static_cast<uint32_t>(BlendChannel(mode, (argb >> shift) & 0xFF, a, (dst >> shift) & 0xFF)) << shift;
    }
    return out;
}

// The window's client area as it is on the screen, 0x00RRGGBB row by row.
std::vector<uint32_t> CaptureWindow(int width, int height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    HWND window = GetMainHwnd();
    HDC windowDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memoryDc, dib);
    BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<const uint32_t*>(bits)[i] & 0xFFFFFF;
    SelectObject(memoryDc, old);
    DeleteObject(dib);
    DeleteDC(memoryDc);
    ReleaseDC(window, windowDc);
    return pixels;
}

TEST(EndToEnd, PicturesFromAnArchiveBlendedAndPresentedShowInTheWindow) {
    DisplayWatchdog watchdog(180);
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    const std::string root = std::string(temp) + "kv_end_to_end_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(root.c_str(), nullptr);
    const std::string archivePath = root + "\\res.Qzm";
    {
        ArchiveMemorySink sink;
        ArchiveWriter writer(&sink, ArchiveWriterOptions());
        const std::vector<uint8_t> png = EncodePngRgba(kW, kH, Pixels(PngPixel), true);
        const std::vector<uint8_t> jpeg = EncodeJpegRgb(kW, kH, Pixels(JpegPixel), 95);
        ASSERT_EQ(0, writer.AddFile("Effect\\glow.png", png.data(), png.size(), {}));
        ASSERT_EQ(0, writer.AddFile("BackGround\\sky.jpg", jpeg.data(), jpeg.size(), {}));
        ASSERT_EQ(0, writer.Finish());
        HANDLE f = CreateFileA(archivePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, f);
        DWORD written = 0;
        WriteFile(f, sink.bytes.data(), static_cast<DWORD>(sink.bytes.size()), &written, nullptr);
        CloseHandle(f);
    }

    // The game's own start.
    ASSERT_EQ(0, StartRuntimeAsTheGame());
    ArchiveSetExtension("Qzm");
    ASSERT_EQ(0, SetTargetScreen(-2));
    const std::string png = root + "\\res\\Effect\\glow.png";
    const std::string jpeg = root + "\\res\\BackGround\\sky.jpg";
    const int glow = LoadGraphFromFile(png.c_str(), 0);
    const int sky = LoadGraphFromFile(jpeg.c_str(), 0);
    ASSERT_NE(-1, glow);
    ASSERT_NE(-1, sky);
    // The JPEG as the runtime's own decoder reads it is what must reach the screen.
    GraphImage skyImage;
    ASSERT_EQ(0, LoadGraphImage(jpeg.c_str(), nullptr, 0, &skyImage));

    // Each blend mode in its own column: backdrop first, then the picture.
    ASSERT_EQ(0, ClearTargetScreen());
    auto column = [](int mode) { return 16 + mode * 96; };
    const int rows[2] = {40, 120};
    for (int mode = 0; mode <= 4; ++mode) {
        for (int row : rows) {
            SetBlendMode(0, 255);
            DrawRectangle(column(mode) - 8, row - 8, column(mode) + kW + 8, row + kH + 8,
                          RgbToScreenPixel(0x80, 0x60, 0x40), 1);
        }
        SetBlendMode(mode, mode == 0 ? 255 : kParameter);
        EXPECT_EQ(0, DrawGraphAt(column(mode), rows[0], glow, 1));
        EXPECT_EQ(0, DrawGraphAt(column(mode), rows[1], sky, 1));
    }
    SetBlendMode(0, 255);
    ASSERT_EQ(0, PresentBackScreen2D());
    // What the window shows, as the frame loop leaves it: the window system gets the picture while messages are
    // processed after the present, so the window is read again (for at most two seconds) until it settles.
    const int width = 640, height = 200;
    auto expected = [&](int x, int y) {
        uint32_t want = 0;  // the cleared screen
        for (int mode = 0; mode <= 4; ++mode) {
            const int cx = column(mode);
            for (int r = 0; r < 2; ++r) {
                if (x < cx - 8 || x >= cx + kW + 8 || y < rows[r] - 8 || y >= rows[r] + kH + 8) continue;
                want = kBackdrop;
                const int gx = x - cx, gy = y - rows[r];
                if (gx < 0 || gy < 0 || gx >= kW || gy >= kH) continue;
                const uint32_t src = r == 0 ? PngPixel(gx, gy) : (0xFF000000u | DecodedPixel(skyImage, gx, gy));
                want = BlendPixel(mode, src, kBackdrop);
            }
        }
        return want;
    };
    int differences = 0;
    std::string first;
    // The window shows the picture when the server gets to it: try for a generous time on a busy machine.
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 20000;) {
        ProcessMessage();
        const std::vector<uint32_t> seen = CaptureWindow(width, height);
        differences = 0;
        first.clear();
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint32_t got = seen[static_cast<size_t>(y) * width + x];
                const uint32_t want = expected(x, y);
                if (!ColorsClose(got, want, 4) && ++differences <= 5) {
                    char text[80];
                    snprintf(text, sizeof(text), "(%d,%d) %06x, expected %06x; ", x, y, static_cast<unsigned>(got),
                             static_cast<unsigned>(want));
                    first += text;
                }
            }
        }
        if (differences == 0) break;
        Sleep(20);
    }
    EXPECT_EQ(0, differences) << first;

    ReleaseGraphImage(&skyImage);
    ReleaseAllGraphs(0);
    EXPECT_EQ(0, ShutDownLibrary());
    DeleteFileA(archivePath.c_str());
    RemoveDirectoryA(root.c_str());
}

}  // namespace
