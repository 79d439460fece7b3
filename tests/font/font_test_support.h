// What the font tests share: the runtime started once per suite in a real window, fonts made in either cache mode,
// software images to draw into, and GDI's own answers (metrics, glyph bitmaps, text extents) for the same font, from
// which the expected pixels and sizes are built.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "font/font.h"
#include "font/font_internal.h"
#include "graphics/color/color_format.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/color/memimg.h"
#include "runtime/log.h"
#include "runtime/runtime.h"

// Shift-JIS texts, written as bytes so the test sources stay plain.
#define SJIS_KAN "\x8a\xbf"        // a two-byte kanji
#define SJIS_JI "\x8e\x9a"         // another
#define SJIS_HIRA_A "\x82\xa0"     // hiragana a
#define SJIS_WIDE_SPACE "\x81\x40"  // the full-width space
#define SJIS_HALF_KA "\xb6"        // half-width katakana ka (one byte)

// The runtime started once for a whole suite, the way the game starts it (window mode, no log file).
class FontSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ChangeWindowMode(1);
        SetLogFileEnabled(0);
        started_ = StartUpLibrary() == 0;
    }
    static void TearDownTestSuite() {
        if (started_) ShutDownLibrary();
        started_ = false;
    }
    void SetUp() override {
        ASSERT_TRUE(started_) << "the runtime did not start";
        SetUse3D(1);
    }
    void TearDown() override {
        for (int handle : made_) DeleteFontHandle(handle);
        made_.clear();
        SetUse3D(1);
    }
    // A font with a memory cache (3D use off while it is made), or -1.
    int MemoryFont(int size, int type, int edge = -1, const char* face = nullptr) {
        SetUse3D(0);
        const int handle = CreateFontToHandle(face, size, -1, type, -1, edge, 0, -1, -1);
        SetUse3D(1);
        if (handle != -1) made_.push_back(handle);
        return handle;
    }
    // A font with a texture cache when the device offers one, or -1.
    int TextureFont(int size, int type, int edge = -1, const char* face = nullptr) {
        const int handle = CreateFontToHandle(face, size, -1, type, -1, edge, 0, -1, -1);
        if (handle != -1) made_.push_back(handle);
        return handle;
    }
    int Keep(int handle) {
        if (handle != -1) made_.push_back(handle);
        return handle;
    }

    static bool started_;
    std::vector<int> made_;
};
inline bool FontSuite::started_ = false;

// Logs into a private file while it lives, so a test can read the lines a call wrote.
class LogCapture {
public:
    LogCapture() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        directory_ = std::string(temp) + "kvfontlog_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(directory_.c_str(), nullptr);
        SetLogDirectory(directory_.c_str());
        SetLogFileEnabledImpl(1);
        SetLogNoTimeStamp(1);
        OpenLogFile();
    }
    ~LogCapture() {
        SetLogFileEnabledImpl(0);
        DeleteFileA(path().c_str());
        RemoveDirectoryA(directory_.c_str());
        SetLogDirectory("");
        SetLogNoTimeStamp(0);
    }
    std::string text() const {
        std::string content;
        HANDLE file = CreateFileA(path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "<no log file>";
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) content.append(buffer, got);
        CloseHandle(file);
        return content;
    }

private:
    std::string path() const { return directory_ + "\\" + GetLogFileName(); }
    std::string directory_;
};

// GDI's view of a font: metrics and glyphs read through a DC with the font's own GDI object.
class GdiFont {
public:
    explicit GdiFont(HFONT font) {
        dc_ = CreateCompatibleDC(nullptr);
        previous_ = SelectObject(dc_, font);
        GetTextMetricsA(dc_, &metrics_);
    }
    ~GdiFont() {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    const TEXTMETRICA& metrics() const { return metrics_; }
    HDC dc() const { return dc_; }
    std::string face() const {
        char name[LF_FACESIZE] = {};
        GetTextFaceA(dc_, sizeof(name), name);
        return name;
    }
    // The glyph of a character code (first byte * 256 + second byte for two-byte characters).
    struct Glyph {
        GLYPHMETRICS gm;
        std::vector<uint8_t> bits;
        int pitch;
        int pixel(int x, int y, bool gray) const {
            if (pitch == 0 || (int)gm.gmBlackBoxX <= x || (int)gm.gmBlackBoxY <= y) return 0;
            const uint8_t* row = bits.data() + (size_t)y * pitch;
            return gray ? row[x] : (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
    };
    Glyph glyph(unsigned code, bool gray) const {
        Glyph g = {};
        MAT2 m = {};
        m.eM11.value = 1;
        m.eM22.value = 1;
        const UINT format = gray ? GGO_GRAY4_BITMAP : GGO_BITMAP;
        const DWORD size = GetGlyphOutlineA(dc_, code, format, &g.gm, 0, nullptr, &m);
        if (size == GDI_ERROR || size == 0 || g.gm.gmBlackBoxY == 0) return g;
        g.bits.assign(size, 0);
        GetGlyphOutlineA(dc_, code, format, &g.gm, size, g.bits.data(), &m);
        g.pitch = (int)(size / g.gm.gmBlackBoxY) & ~3;
        return g;
    }
    int textWidth(const char* text) const {
        SIZE s = {};
        GetTextExtentPoint32A(dc_, text, lstrlenA(text), &s);
        return s.cx;
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
    TEXTMETRICA metrics_;
};

inline HFONT FontObjectOf(int handle) {
    const FontData* font = FontHandleToRecord(handle);
    return font != nullptr ? font->fontObject : nullptr;
}

// The characters of a Shift-JIS text as GetGlyphOutlineA codes.
inline std::vector<unsigned> CharCodes(const char* text, int charset = 1) {
    std::vector<unsigned> codes;
    for (const unsigned char* p = (const unsigned char*)text; *p;) {
        if (IsLeadByte(p, charset) && p[1]) {
            codes.push_back(p[0] * 256u + p[1]);
            p += 2;
        } else {
            codes.push_back(*p++);
        }
    }
    return codes;
}

// A software image of 32, 16 or 8 bits a pixel (16-bit with alpha when `alpha16`: 4-byte pixels), filled with `fill`.
struct TestImage {
    MEMIMG image = {};
    int bytes = 4;
    TestImage(int width, int height, int bits, uint32_t fill = 0, bool alpha16 = false) {
        std::memset(&image, 0, sizeof(image));
        bytes = bits == 32 ? 4 : bits == 16 ? (alpha16 ? 4 : 2) : 1;
        const int type = bits == 32 ? kMemImgColor32 : bits == 16 ? kMemImgColor16 : kMemImgChannel8;
        InitMemImage(&image, width, height, -1, 0, type, 0, bits == 16 && alpha16 ? 1 : 0, 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) set(x, y, fill);
        }
    }
    ~TestImage() { ReleaseMemImage(&image); }
    uint32_t at(int x, int y) const {
        uint32_t v = 0;
        std::memcpy(&v, image.pixels + (size_t)y * image.pitch + (size_t)x * bytes, bytes);
        return v;
    }
    void set(int x, int y, uint32_t v) { std::memcpy(image.pixels + (size_t)y * image.pitch + (size_t)x * bytes, &v, bytes); }
    int width() const { return image.width; }
    int height() const { return image.height; }
};

// Runs the body with the screen depth (and the colour lookups) of another display, then puts both back. The
// Xvfb screen is 32-bit; 16 gives an R5G6B5 screen, 8 the built-in palette.
class ScreenDepthOverride {
public:
    explicit ScreenDepthOverride(int bits) {
        savedBits_ = GetDisplayState().screenBits;
        savedFormat_ = GetDrawingFormatInfo();
        GetDisplayState().screenBits = bits;
        DrawingFormatInfo& info = GetDrawingFormatInfo();
        info.memImgDrawing = 0;
        if (bits == 16) SetColorFormatFromMasksImpl(&info.screenFormat, 16, 0xF800, 0x07E0, 0x001F, 0);
        if (bits == 8) SetPaletteColorFormat(&info.screenFormat);
    }
    ~ScreenDepthOverride() {
        GetDisplayState().screenBits = savedBits_;
        GetDrawingFormatInfo() = savedFormat_;
    }

private:
    int savedBits_;
    DrawingFormatInfo savedFormat_;
};

inline int ClipAll(const TestImage& image, int* rect) {
    rect[0] = 0;
    rect[1] = 0;
    rect[2] = image.width();
    rect[3] = image.height();
    return 0;
}

// Draws with the memory path's usual arguments: no scaling, horizontal unless asked.
inline int DrawInto(TestImage& image, int font, const char* text, int x, int y, int colour, int edgeColour,
                    int transFlag = 1, int vertical = 0, const int* clip = nullptr, int length = -1) {
    int all[4];
    ClipAll(image, all);
    return DrawFontString(1, x, y, 0, 1.0, 1.0, text, colour, &image.image, clip != nullptr ? clip : all, transFlag,
                          font, edgeColour, length, vertical, nullptr);
}

inline int Measure(int font, const char* text, int length = -1, int vertical = 0, int* size = nullptr) {
    return DrawFontString(0, 0, 0, 0, 1.0, 1.0, text, 0, nullptr, nullptr, 0, font, 0, length, vertical, size);
}
