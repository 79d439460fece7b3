// Fixture files for the image reader tests. PNG and JPEG files come from libpng's and libjpeg's own encoders; BMP,
// TGA, DDS and "BGRA" files from the small writers below, which follow the published layouts rather than the
// readers' code. Each fixture carries the pixels it must decode to.
#include "tests/graphics/test_image_fixtures.h"

#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>

namespace {

constexpr int kW = 13;  // odd, so rows need padding in every padded layout
constexpr int kH = 7;

uint32_t Argb(int a, int r, int g, int b) {
    return (static_cast<uint32_t>(a & 0xFF) << 24) | (static_cast<uint32_t>(r & 0xFF) << 16) |
           (static_cast<uint32_t>(g & 0xFF) << 8) | static_cast<uint32_t>(b & 0xFF);
}
int R(uint32_t c) { return (c >> 16) & 0xFF; }
int G(uint32_t c) { return (c >> 8) & 0xFF; }
int B(uint32_t c) { return c & 0xFF; }
int A(uint32_t c) { return (c >> 24) & 0xFF; }

// A colourful pattern with every channel distinct and varying along both axes.
uint32_t Pattern(int x, int y) {
    return Argb(40 + x * 15 + y * 3, (x * 19 + y * 37) & 0xFF, (200 - x * 11 + y * 23) & 0xFF, (x * 7 * y + 90) & 0xFF);
}

struct Writer {
    std::vector<uint8_t> v;
    void u8(int x) { v.push_back(static_cast<uint8_t>(x)); }
    void u16(uint32_t x) {
        u8(x & 0xFF);
        u8((x >> 8) & 0xFF);
    }
    void u32(uint32_t x) {
        u16(x & 0xFFFF);
        u16(x >> 16);
    }
    void raw(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        v.insert(v.end(), b, b + n);
    }
    void fill(int byte, size_t n) { v.insert(v.end(), n, static_cast<uint8_t>(byte)); }
    void put32(size_t at, uint32_t x) {
        for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
    }
};

ImageFixture Fixture(const std::string& name, std::vector<uint8_t> bytes, int width, int height,
                     std::vector<uint32_t> argb, int depth, bool alpha) {
    ImageFixture f;
    f.name = name;
    f.bytes = std::move(bytes);
    f.width = width;
    f.height = height;
    f.argb = std::move(argb);
    f.bitDepth = depth;
    f.checkAlpha = alpha;
    f.minimalPrefix = f.bytes.size();
    return f;
}

std::vector<uint32_t> Image(int w, int h, const std::function<uint32_t(int, int)>& colour) {
    std::vector<uint32_t> out(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) out[static_cast<size_t>(y) * w + x] = colour(x, y);
    return out;
}

// ---------------------------------------------------------------- BMP

struct BmpFile {
    int width = kW;
    int height = kH;  // negative: rows stored top-down
    int bits = 24;
    uint32_t compression = 0;
    int infoSize = 40;
    std::vector<uint32_t> palette;  // 0x00RRGGBB
    int colorsUsed = 0;
    bool masks = false;
    uint32_t mask[3] = {0, 0, 0};
    std::vector<uint8_t> data;
};

std::vector<uint8_t> WriteBmp(const BmpFile& b) {
    Writer w;
    w.u8('B');
    w.u8('M');
    w.u32(0);  // file size, patched
    w.u32(0);
    w.u32(0);  // data offset, patched
    const size_t info = w.v.size();
    w.u32(static_cast<uint32_t>(b.infoSize));
    w.u32(static_cast<uint32_t>(b.width));
    w.u32(static_cast<uint32_t>(b.height));
    w.u16(1);
    w.u16(static_cast<uint32_t>(b.bits));
    w.u32(b.compression);
    w.u32(static_cast<uint32_t>(b.data.size()));
    w.u32(2835);
    w.u32(2835);
    w.u32(static_cast<uint32_t>(b.colorsUsed));
    w.u32(0);
    if (b.infoSize >= 52) {
        for (uint32_t m : b.mask) w.u32(b.masks ? m : 0);
    }
    // The rest of a newer header: bytes a reader must not mistake for the colour table.
    w.fill(0xEE, info + b.infoSize - w.v.size());
    if (b.bits <= 8) {
        const size_t entries = b.colorsUsed ? b.colorsUsed : (1u << b.bits);
        for (size_t i = 0; i < entries; ++i) {
            const uint32_t c = i < b.palette.size() ? b.palette[i] : 0;
            w.u8(B(c));
            w.u8(G(c));
            w.u8(R(c));
            w.u8(0x77);  // reserved byte; the reader must clear it
        }
    }
    if (b.masks && b.infoSize == 40) {
        for (uint32_t m : b.mask) w.u32(m);
    }
    w.fill(0x5A, 6);  // a gap: the pixels start where the offset says
    const size_t offset = w.v.size();
    w.raw(b.data.data(), b.data.size());
    w.put32(2, static_cast<uint32_t>(w.v.size()));
    w.put32(10, static_cast<uint32_t>(offset));
    return w.v;
}

// Stored rows of `bits` bits a pixel in file order.
std::vector<uint8_t> PackBmpRows(int width, int height, bool bottomUp, int bits,
                                 const std::function<uint32_t(int, int)>& value) {
    const size_t rowSize = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    std::vector<uint8_t> out(rowSize * height, 0);
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        const int y = bottomUp ? height - 1 - fileRow : fileRow;
        uint8_t* row = out.data() + rowSize * fileRow;
        for (int x = 0; x < width; ++x) {
            const uint32_t v = value(x, y);
            switch (bits) {
                case 1: case 2: case 4: {
                    const int bit = x * bits;
                    row[bit / 8] |= static_cast<uint8_t>(v << (8 - bits - bit % 8));
                    break;
                }
                case 8: row[x] = static_cast<uint8_t>(v); break;
                case 16: row[2 * x] = v & 0xFF; row[2 * x + 1] = (v >> 8) & 0xFF; break;
                case 24: row[3 * x] = B(v); row[3 * x + 1] = G(v); row[3 * x + 2] = R(v); break;
                case 32: for (int i = 0; i < 4; ++i) row[4 * x + i] = (v >> (8 * i)) & 0xFF; break;
            }
        }
    }
    return out;
}

std::vector<uint32_t> Palette(int count) {
    std::vector<uint32_t> p(count);
    for (int i = 0; i < count; ++i) p[i] = Argb(0, (i * 53 + 7) & 0xFF, (255 - i * 29) & 0xFF, (i * 97 + 31) & 0xFF);
    return p;
}

// GDI widens 5- and 6-bit channels by repeating their top bits.
int Widen5(int v) { return (v << 3) | (v >> 2); }
int Widen6(int v) { return (v << 2) | (v >> 4); }

void AddPlainBmps(std::vector<ImageFixture>& out) {
    for (int topDown = 0; topDown < 2; ++topDown) {
        const std::string orientation = topDown ? "top-down" : "bottom-up";
        {  // 24 bits
            BmpFile b;
            b.height = topDown ? -kH : kH;
            b.data = PackBmpRows(kW, kH, !topDown, 24, Pattern);
            out.push_back(Fixture("bmp 24-bit " + orientation, WriteBmp(b), kW, kH, Image(kW, kH, Pattern), 24,
                                  false));
        }
        {  // 8 bits, full table
            BmpFile b;
            b.height = topDown ? -kH : kH;
            b.bits = 8;
            b.palette = Palette(256);
            auto index = [](int x, int y) { return static_cast<uint32_t>((x * 17 + y * 31) & 0xFF); };
            b.data = PackBmpRows(kW, kH, !topDown, 8, index);
            const auto pal = b.palette;
            out.push_back(Fixture("bmp 8-bit " + orientation, WriteBmp(b), kW, kH,
                                  Image(kW, kH, [&](int x, int y) { return pal[index(x, y)] | 0xFF000000u; }), 8,
                                  false));
        }
        {  // 4 bits
            BmpFile b;
            b.height = topDown ? -kH : kH;
            b.bits = 4;
            b.palette = Palette(16);
            auto index = [](int x, int y) { return static_cast<uint32_t>((x + 2 * y) & 15); };
            b.data = PackBmpRows(kW, kH, !topDown, 4, index);
            const auto pal = b.palette;
            out.push_back(Fixture("bmp 4-bit " + orientation, WriteBmp(b), kW, kH,
                                  Image(kW, kH, [&](int x, int y) { return pal[index(x, y)] | 0xFF000000u; }), 8,
                                  false));
        }
        {  // 1 bit (through GDI)
            BmpFile b;
            b.height = topDown ? -kH : kH;
            b.bits = 1;
            b.palette = {0x102030, 0xF0E0D0};
            auto index = [](int x, int y) { return static_cast<uint32_t>(((x ^ y) & 1) | (x == 12 ? 1 : 0)); };
            b.data = PackBmpRows(kW, kH, !topDown, 1, index);
            const auto pal = b.palette;
            out.push_back(Fixture("bmp 1-bit " + orientation, WriteBmp(b), kW, kH,
                                  Image(kW, kH, [&](int x, int y) { return pal[index(x, y)] | 0xFF000000u; }), 24,
                                  false));
        }
        {  // 16 bits 5:5:5 (through GDI)
            BmpFile b;
            b.height = topDown ? -kH : kH;
            b.bits = 16;
            auto value = [](int x, int y) {
                const uint32_t c = Pattern(x, y);
                return static_cast<uint32_t>(((R(c) >> 3) << 10) | ((G(c) >> 3) << 5) | (B(c) >> 3));
            };
            b.data = PackBmpRows(kW, kH, !topDown, 16, value);
            out.push_back(Fixture("bmp 16-bit 555 " + orientation, WriteBmp(b), kW, kH,
                                  Image(kW, kH,
                                        [](int x, int y) {
                                            const uint32_t c = Pattern(x, y);
                                            return Argb(255, Widen5(R(c) >> 3), Widen5(G(c) >> 3), Widen5(B(c) >> 3));
                                        }),
                                  24, false));
        }
        {  // 32 bits, plain (through GDI); the fourth byte is ignored
            BmpFile b;
            b.height = topDown ? -kH : kH;
            b.bits = 32;
            b.data = PackBmpRows(kW, kH, !topDown, 32, Pattern);
            out.push_back(Fixture("bmp 32-bit " + orientation, WriteBmp(b), kW, kH,
                                  Image(kW, kH, [](int x, int y) { return Pattern(x, y) | 0xFF000000u; }), 24,
                                  false));
        }
    }
    {  // 16 bits 5:6:5 with bit fields behind a classic header
        BmpFile b;
        b.bits = 16;
        b.compression = 3;
        b.masks = true;
        b.mask[0] = 0xF800;
        b.mask[1] = 0x07E0;
        b.mask[2] = 0x001F;
        auto value = [](int x, int y) {
            const uint32_t c = Pattern(x, y);
            return static_cast<uint32_t>(((R(c) >> 3) << 11) | ((G(c) >> 2) << 5) | (B(c) >> 3));
        };
        b.data = PackBmpRows(kW, kH, true, 16, value);
        out.push_back(Fixture("bmp 16-bit 565 bit fields", WriteBmp(b), kW, kH,
                              Image(kW, kH,
                                    [](int x, int y) {
                                        const uint32_t c = Pattern(x, y);
                                        return Argb(255, Widen5(R(c) >> 3), Widen6(G(c) >> 2), Widen5(B(c) >> 3));
                                    }),
                              24, false));
        // The same masks inside a fifth-version header: they are part of the header, nothing follows it.
        b.infoSize = 124;
        out.push_back(Fixture("bmp 16-bit 565 bit fields, v5 header", WriteBmp(b), kW, kH, out.back().argb, 24,
                              false));
    }
    {  // 32 bits with bit fields in another channel order
        BmpFile b;
        b.bits = 32;
        b.compression = 3;
        b.masks = true;
        b.mask[0] = 0x000000FF;
        b.mask[1] = 0x0000FF00;
        b.mask[2] = 0x00FF0000;
        auto value = [](int x, int y) {
            const uint32_t c = Pattern(x, y);
            return static_cast<uint32_t>(R(c) | (G(c) << 8) | (B(c) << 16));
        };
        b.data = PackBmpRows(kW, kH, true, 32, value);
        out.push_back(Fixture("bmp 32-bit bit fields", WriteBmp(b), kW, kH,
                              Image(kW, kH, [](int x, int y) { return Pattern(x, y) | 0xFF000000u; }), 24, false));
    }
    {  // 8 bits behind a fifth-version header, with a short colour table
        BmpFile b;
        b.bits = 8;
        b.infoSize = 124;
        b.colorsUsed = 20;
        b.palette = Palette(20);
        auto index = [](int x, int y) { return static_cast<uint32_t>((x + y * 3) % 20); };
        b.data = PackBmpRows(kW, kH, true, 8, index);
        const auto pal = b.palette;
        out.push_back(Fixture("bmp 8-bit v5 header, 20 colours", WriteBmp(b), kW, kH,
                              Image(kW, kH, [&](int x, int y) { return pal[index(x, y)] | 0xFF000000u; }), 8, false));
    }
}

// Run-length encoding of index rows (file order), greedy: runs of equal (or, for 4 bits, alternating) indices,
// literal stretches otherwise. One move code jumps from (jumpX, jumpRow) by (dx, dy); `expected` gets 0 where
// the jump skipped pixels.
std::vector<uint8_t> EncodeBmpRle(int width, int height, bool fourBit, const std::function<int(int, int)>& index,
                                  int jumpRow, int jumpX, int dx, int dy, std::vector<int>* skipped) {
    Writer w;
    skipped->assign(static_cast<size_t>(width) * height, 0);
    auto encodeSpan = [&](int row, int x0, int x1) {
        int x = x0;
        while (x < x1) {
            const int a = index(x, row);
            const int b = x + 1 < x1 ? index(x + 1, row) : a;
            int run = 1;
            while (x + run < x1 && run < 255 && index(x + run, row) == ((run & 1) && fourBit ? b : a)) ++run;
            if (!fourBit) {
                run = 1;
                while (x + run < x1 && run < 255 && index(x + run, row) == a) ++run;
            }
            if (run >= 3 || x1 - x < 3) {
                if (run < 3) run = std::min(run, x1 - x);
                w.u8(run);
                w.u8(fourBit ? (a << 4) | (run > 1 ? b : a) : a);
                x += run;
                continue;
            }
            int n = 3;  // literal: at least three
            while (x + n < x1 && n < 254) {
                const int v = index(x + n, row);
                if (x + n + 2 < x1 && index(x + n + 1, row) == v && index(x + n + 2, row) == v) break;
                ++n;
            }
            w.u8(0);
            w.u8(n);
            const int bytes = fourBit ? (n + 1) / 2 : n;
            for (int i = 0; i < bytes; ++i) {
                if (fourBit) {
                    const int hi = index(x + 2 * i, row);
                    const int lo = 2 * i + 1 < n ? index(x + 2 * i + 1, row) : 0;
                    w.u8((hi << 4) | lo);
                } else {
                    w.u8(index(x + i, row));
                }
            }
            if (bytes & 1) w.u8(0);
            x += n;
        }
    };
    int row = 0;
    int startX = 0;
    while (row < height) {
        if (row == jumpRow) {
            encodeSpan(row, startX, jumpX);
            w.u8(0);
            w.u8(2);
            w.u8(dx);
            w.u8(dy);
            for (int r = row; r <= row + dy; ++r) {
                const int from = r == row ? jumpX : 0;
                const int to = r == row + dy ? jumpX + dx : width;
                for (int x = from; x < to; ++x) (*skipped)[static_cast<size_t>(r) * width + x] = 1;
            }
            startX = jumpX + dx;
            row += dy;
            continue;
        }
        encodeSpan(row, startX, width);
        startX = 0;
        ++row;
        if (row < height) {
            w.u8(0);
            w.u8(0);
        }
    }
    w.u8(0);
    w.u8(1);
    return w.v;
}

void AddRleBmps(std::vector<ImageFixture>& out) {
    for (int fourBit = 0; fourBit < 2; ++fourBit) {
        for (int topDown = 0; topDown < 2; ++topDown) {
            const int colours = fourBit ? 16 : 256;
            // Per row: a run, a literal stretch, then (4 bits) an alternating pair.
            auto index = [&](int x, int fileRow) {
                if (x < 5) return (fileRow * 2 + 1) % colours;
                if (x < 10) return (x * 3 + fileRow * 5 + 2) % colours;
                return ((x & 1) ? 9 : 4) % colours;
            };
            std::vector<int> skipped;
            BmpFile b;
            b.bits = fourBit ? 4 : 8;
            b.compression = fourBit ? 2 : 1;
            b.height = topDown ? -kH : kH;
            b.palette = Palette(colours);
            b.data = EncodeBmpRle(kW, kH, fourBit, index, 2, 6, 3, 2, &skipped);
            const auto pal = b.palette;
            auto expected = Image(kW, kH, [&](int x, int y) {
                const int fileRow = topDown ? y : kH - 1 - y;
                const int i = skipped[static_cast<size_t>(fileRow) * kW + x] ? 0 : index(x, fileRow);
                return pal[i] | 0xFF000000u;
            });
            out.push_back(Fixture(std::string(fourBit ? "bmp rle4 " : "bmp rle8 ") + (topDown ? "top-down" : "bottom-up") +
                                      " with a move",
                                  WriteBmp(b), kW, kH, expected, 8, false));
        }
    }
}

// ---------------------------------------------------------------- TGA

struct TgaFile {
    int type = 2;
    int pixelBits = 24;
    int descriptor = 0;
    std::string id;
    int mapFirst = 0;
    int mapEntryBits = 0;
    std::vector<std::vector<uint8_t>> map;
    std::vector<std::vector<uint8_t>> units;  // per pixel, image order (top-down, left to right)
    bool footer = false;
};

std::vector<uint8_t> WriteTga(const TgaFile& t, int width, int height) {
    Writer w;
    w.u8(static_cast<int>(t.id.size()));
    w.u8(t.map.empty() ? 0 : 1);
    w.u8(t.type);
    w.u16(static_cast<uint32_t>(t.mapFirst));
    w.u16(static_cast<uint32_t>(t.map.size()));
    w.u8(t.mapEntryBits);
    w.u16(0);
    w.u16(0);
    w.u16(static_cast<uint32_t>(width));
    w.u16(static_cast<uint32_t>(height));
    w.u8(t.pixelBits);
    w.u8(t.descriptor);
    w.raw(t.id.data(), t.id.size());
    for (const auto& e : t.map) w.raw(e.data(), e.size());
    std::vector<std::vector<uint8_t>> stored;
    for (int s = 0; s < height; ++s) {
        const int y = (t.descriptor & 0x20) ? s : height - 1 - s;
        for (int c = 0; c < width; ++c) {
            const int x = (t.descriptor & 0x10) ? width - 1 - c : c;
            stored.push_back(t.units[static_cast<size_t>(y) * width + x]);
        }
    }
    if (t.type >= 9) {
        size_t i = 0;
        while (i < stored.size()) {
            size_t run = 1;
            while (i + run < stored.size() && run < 128 && stored[i + run] == stored[i]) ++run;
            if (run >= 2) {
                w.u8(0x80 | static_cast<int>(run - 1));
                w.raw(stored[i].data(), stored[i].size());
                i += run;
                continue;
            }
            size_t n = 1;
            while (i + n < stored.size() && n < 128 &&
                   !(i + n + 1 < stored.size() && stored[i + n] == stored[i + n + 1])) {
                ++n;
            }
            w.u8(static_cast<int>(n - 1));
            for (size_t k = 0; k < n; ++k) w.raw(stored[i + k].data(), stored[i + k].size());
            i += n;
        }
    } else {
        for (const auto& u : stored) w.raw(u.data(), u.size());
    }
    if (t.footer) {
        w.u32(0);
        w.u32(0);
        w.raw("TRUEVISION-XFILE", 16);
        w.u8('.');
        w.u8(0);
    }
    return w.v;
}

std::vector<uint8_t> TgaUnit(uint32_t c, int bits) {
    switch (bits) {
        case 16: {
            const uint32_t v = ((R(c) >> 3) << 10) | ((G(c) >> 3) << 5) | (B(c) >> 3) | 0x8000;
            return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
        }
        case 24: return {static_cast<uint8_t>(B(c)), static_cast<uint8_t>(G(c)), static_cast<uint8_t>(R(c))};
        default:
            return {static_cast<uint8_t>(B(c)), static_cast<uint8_t>(G(c)), static_cast<uint8_t>(R(c)),
                    static_cast<uint8_t>(A(c))};
    }
}

// What a pixel of `bits` bits reads back as (5-bit channels keep zero low bits).
uint32_t TgaExpected(uint32_t c, int bits) {
    if (bits == 16) return Argb(255, R(c) & 0xF8, G(c) & 0xF8, B(c) & 0xF8);
    if (bits == 24) return c | 0xFF000000u;
    return c;
}

// Runs along rows, so the encoder makes repeat packets too (some crossing a row end).
uint32_t BlockyPattern(int x, int y) {
    return Pattern(x / 4 * 4, y / 3 * 3);
}

void AddTgas(std::vector<ImageFixture>& out) {
    const int descriptors[] = {0x00, 0x10, 0x20, 0x30};
    for (int type : {2, 10}) {
        for (int bits : {16, 24, 32}) {
            for (int d : descriptors) {
                TgaFile t;
                t.type = type;
                t.pixelBits = bits;
                t.descriptor = d | (bits == 32 ? 8 : 0);
                t.id = (d == 0x10) ? "an image id" : "";
                t.footer = d == 0x20;
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < kW; ++x) t.units.push_back(TgaUnit(BlockyPattern(x, y), bits));
                char name[96];
                snprintf(name, sizeof(name), "tga type %d %d-bit descriptor 0x%02X%s", type, bits, d,
                         t.footer ? " with footer" : "");
                ImageFixture f = Fixture(name, WriteTga(t, kW, kH), kW, kH,
                                         Image(kW, kH, [&](int x, int y) { return TgaExpected(BlockyPattern(x, y), bits); }),
                                         bits, bits == 32);
                if (t.footer) f.minimalPrefix = f.bytes.size() - 26;
                out.push_back(f);
            }
        }
    }
    // Colour-mapped: the map starts at entry 3; indices are bytes.
    for (int type : {1, 9}) {
        for (int bits : {16, 24, 32}) {
            for (int d : {0x00, 0x30}) {
                TgaFile t;
                t.type = type;
                t.pixelBits = 8;
                t.descriptor = d;
                t.mapFirst = 3;
                t.mapEntryBits = bits;
                const auto pal = Palette(20);
                for (uint32_t c : pal) t.map.push_back(TgaUnit(c | 0xC0000000u, bits));
                auto index = [](int x, int y) { return 3 + ((x / 2 + y * 3) % 20); };
                for (int y = 0; y < kH; ++y)
                    for (int x = 0; x < kW; ++x) t.units.push_back({static_cast<uint8_t>(index(x, y))});
                char name[96];
                snprintf(name, sizeof(name), "tga type %d map %d-bit descriptor 0x%02X", type, bits, d);
                out.push_back(Fixture(name, WriteTga(t, kW, kH), kW, kH,
                                      Image(kW, kH,
                                            [&](int x, int y) {
                                                return TgaExpected(pal[index(x, y) - 3] | 0xC0000000u, bits);
                                            }),
                                      bits, bits == 32));
            }
        }
    }
}

// ---------------------------------------------------------------- DDS

std::vector<uint8_t> WriteDds(int width, int height, uint32_t flags, uint32_t pitch, uint32_t pixelFlags,
                              uint32_t fourCC, int bitCount, const uint32_t masks[4],
                              const std::vector<uint8_t>& data) {
    Writer w;
    w.raw("DDS ", 4);
    const size_t h = w.v.size();
    w.fill(0, 124);
    w.put32(h + 0, 124);
    w.put32(h + 4, flags);
    w.put32(h + 8, static_cast<uint32_t>(height));
    w.put32(h + 12, static_cast<uint32_t>(width));
    w.put32(h + 16, pitch);
    w.put32(h + 72, 32);
    w.put32(h + 76, pixelFlags);
    w.put32(h + 80, fourCC);
    w.put32(h + 84, static_cast<uint32_t>(bitCount));
    for (int i = 0; i < 4; ++i) w.put32(h + 88 + 4 * i, masks[i]);
    w.raw(data.data(), data.size());
    return w.v;
}

int MaskShift(uint32_t m) {
    int s = 0;
    while (m && !(m & 1)) {
        m >>= 1;
        ++s;
    }
    return s;
}
int MaskWidth(uint32_t m) {
    m >>= MaskShift(m);
    int n = 0;
    while (m & 1) {
        m >>= 1;
        ++n;
    }
    return n;
}

// Packs an 8-bit colour into a layout by masks (each channel keeps its top bits; wider channels repeat them).
uint32_t PackMasks(uint32_t c, const uint32_t masks[4]) {
    const int channels[4] = {R(c), G(c), B(c), A(c)};
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        if (!masks[i]) continue;
        const int width = MaskWidth(masks[i]);
        const uint32_t value = width <= 8 ? channels[i] >> (8 - width)
                                          : (static_cast<uint32_t>(channels[i]) << (width - 8)) |
                                                (channels[i] >> (16 - width));
        v |= (value << MaskShift(masks[i])) & masks[i];
    }
    return v;
}

// What the test-side pixel reading gives back for such a value.
uint32_t UnpackMasks(uint32_t v, const uint32_t masks[4]) {
    int channels[4] = {0, 0, 0, 255};
    for (int i = 0; i < 4; ++i) {
        if (!masks[i]) continue;
        const int width = MaskWidth(masks[i]);
        const uint32_t value = (v & masks[i]) >> MaskShift(masks[i]);
        channels[i] = static_cast<int>(width <= 8 ? (value << (8 - width)) & 0xFF : value >> (width - 8));
    }
    return Argb(channels[3], channels[0], channels[1], channels[2]);
}

void AddDds(std::vector<ImageFixture>& out) {
    struct Case {
        const char* name;
        uint32_t pixelFlags;
        uint32_t fourCC;
        int bits;
        uint32_t masks[4];
        int extraPitch;  // bytes of padding a row, given through the pitch flag
    };
    const Case cases[] = {
        {"dds code 23 (5:6:5)", 4, 23, 16, {0xF800, 0x07E0, 0x001F, 0}, 0},
        {"dds code 21 (A8R8G8B8)", 4, 21, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, 0},
        {"dds code 32 (A8B8G8R8)", 4, 32, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000u}, 0},
        {"dds code 26 (A4R4G4B4)", 4, 26, 16, {0xF00, 0xF0, 0xF, 0xF000}, 0},
        {"dds code 35 (A2R10G10B10)", 4, 35, 32, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000u}, 0},
        {"dds code 20 (R8G8B8) padded rows", 4, 20, 24, {0xFF0000, 0xFF00, 0xFF, 0}, 5},
        {"dds rgb masks 24-bit padded rows", 0x40, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0}, 3},
        {"dds rgb masks 1:5:5:5 with alpha", 0x41, 0, 16, {0x7C00, 0x03E0, 0x001F, 0x8000}, 0},
        // One byte a pixel: decoded as a palette image whose entries hold the layout's colours at full range.
        {"dds code 27 (R3G3B2)", 4, 27, 8, {0xE0, 0x1C, 0x03, 0}, 0},
    };
    for (const Case& c : cases) {
        const int bytes = c.bits / 8;
        const int pitch = kW * bytes + c.extraPitch;
        std::vector<uint8_t> data(static_cast<size_t>(pitch) * kH, 0xAB);
        std::vector<uint32_t> expected;
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) {
                const uint32_t v = PackMasks(Pattern(x, y), c.masks);
                for (int i = 0; i < bytes; ++i) data[static_cast<size_t>(y) * pitch + x * bytes + i] = (v >> (8 * i)) & 0xFF;
                if (c.bits == 8) {
                    auto full = [v](uint32_t mask) {
                        const uint32_t top = mask >> MaskShift(mask);
                        return static_cast<int>(((v & mask) >> MaskShift(mask)) * 255 / top);
                    };
                    expected.push_back(Argb(255, full(c.masks[0]), full(c.masks[1]), full(c.masks[2])));
                } else {
                    expected.push_back(UnpackMasks(v, c.masks));
                }
            }
        }
        const uint32_t flags = 0x1007 | (c.extraPitch ? 0x8 : 0);
        out.push_back(Fixture(c.name,
                              WriteDds(kW, kH, flags, c.extraPitch ? pitch : 0, c.pixelFlags, c.fourCC, c.bits,
                                       c.masks, data),
                              kW, kH, expected, c.bits, c.masks[3] != 0));
    }
}

// ---------------------------------------------------------------- BGRA

std::vector<uint8_t> WriteBgra(int width, int height, bool sixteen, const std::function<uint32_t(int, int)>& colour) {
    Writer w;
    w.raw("BGRA", 4);
    w.u32(sixteen ? 0x10101010u : 0x08080808u);
    w.u32(static_cast<uint32_t>(width));
    w.u32(static_cast<uint32_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t c = colour(x, y);
            for (int ch : {B(c), G(c), R(c), A(c)}) {
                if (sixteen) {
                    w.u8((ch * 7 + x) & 0xFF);  // low byte: must be dropped
                    w.u8(ch);
                } else {
                    w.u8(ch);
                }
            }
        }
    }
    return w.v;
}

void AddBgra(std::vector<ImageFixture>& out) {
    out.push_back(Fixture("bgra 8-bit", WriteBgra(kW, kH, false, Pattern), kW, kH, Image(kW, kH, Pattern), 32, true));
    out.push_back(Fixture("bgra 16-bit", WriteBgra(kW, kH, true, Pattern), kW, kH, Image(kW, kH, Pattern), 32, true));
}

// ---------------------------------------------------------------- PNG (libpng's encoder)

struct PngFile {
    int width = kW;
    int height = kH;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_RGB;
    int interlace = PNG_INTERLACE_NONE;
    std::vector<std::vector<uint8_t>> rows;  // in the file's own packing
    std::vector<png_color> palette;
    std::vector<uint8_t> trans;
};

void PngWriteToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void PngFlushNothing(png_structp) {}

// No destructor runs in this function: libpng may jump back into it.
bool EncodePngInto(const PngFile* f, std::vector<uint8_t>* out, png_bytep* rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, PngWriteToVector, PngFlushNothing);
    png_set_IHDR(png, info, f->width, f->height, f->bitDepth, f->colorType, f->interlace, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!f->palette.empty()) png_set_PLTE(png, info, f->palette.data(), static_cast<int>(f->palette.size()));
    if (!f->trans.empty()) png_set_tRNS(png, info, f->trans.data(), static_cast<int>(f->trans.size()), nullptr);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::vector<uint8_t> EncodePng(const PngFile& f) {
    std::vector<uint8_t> out;
    std::vector<png_bytep> rows;
    std::vector<std::vector<uint8_t>> copy = f.rows;
    for (auto& r : copy) rows.push_back(r.data());
    if (!EncodePngInto(&f, &out, rows.data())) throw std::runtime_error("png encoder failed");
    return out;
}

// Packs samples of `bits` bits MSB-first (PNG order); 16-bit samples big-endian.
std::vector<uint8_t> PngRow(const std::vector<int>& samples, int bits) {
    std::vector<uint8_t> row;
    if (bits == 16) {
        for (int s : samples) {
            row.push_back(static_cast<uint8_t>(s >> 8));
            row.push_back(static_cast<uint8_t>(s));
        }
    } else if (bits == 8) {
        for (int s : samples) row.push_back(static_cast<uint8_t>(s));
    } else {
        row.assign((samples.size() * bits + 7) / 8, 0);
        for (size_t i = 0; i < samples.size(); ++i) {
            const size_t bit = i * bits;
            row[bit / 8] |= static_cast<uint8_t>(samples[i] << (8 - bits - bit % 8));
        }
    }
    return row;
}

void AddPngs(std::vector<ImageFixture>& out) {
    auto addPalette = [&](const char* name, int bits, int entries, bool withTrans) {
        PngFile f;
        f.bitDepth = bits;
        f.colorType = PNG_COLOR_TYPE_PALETTE;
        const auto pal = Palette(entries);
        for (uint32_t c : pal) f.palette.push_back(png_color{static_cast<png_byte>(R(c)), static_cast<png_byte>(G(c)),
                                                             static_cast<png_byte>(B(c))});
        if (withTrans) {
            for (int i = 0; i < entries / 2; ++i) f.trans.push_back(static_cast<uint8_t>(i * 9));
        }
        auto index = [&](int x, int y) { return (x * 5 + y * 3) % entries; };
        for (int y = 0; y < kH; ++y) {
            std::vector<int> s;
            for (int x = 0; x < kW; ++x) s.push_back(index(x, y));
            f.rows.push_back(PngRow(s, bits));
        }
        out.push_back(Fixture(name, EncodePng(f), kW, kH,
                              Image(kW, kH,
                                    [&](int x, int y) {
                                        const int i = index(x, y);
                                        const int a = withTrans ? (i < entries / 2 ? i * 9 : 255) : 255;
                                        return pal[i] | (static_cast<uint32_t>(a) << 24);
                                    }),
                              withTrans ? 32 : 8, withTrans));
    };
    addPalette("png palette 4-bit, 16 entries", 4, 16, false);
    addPalette("png palette 8-bit", 8, 200, false);
    addPalette("png palette 8-bit with tRNS", 8, 64, true);

    auto addGrey = [&](const char* name, int bits, bool alpha, int interlace) {
        PngFile f;
        f.bitDepth = bits;
        f.colorType = alpha ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_GRAY;
        f.interlace = interlace;
        const int maxValue = (1 << bits) - 1;
        auto grey = [&](int x, int y) { return ((x * 7 + y * 13) * maxValue / 120) & maxValue; };
        for (int y = 0; y < kH; ++y) {
            std::vector<int> s;
            for (int x = 0; x < kW; ++x) {
                s.push_back(grey(x, y));
                if (alpha) s.push_back((x * 40) & maxValue);
            }
            f.rows.push_back(PngRow(s, bits));
        }
        out.push_back(Fixture(name, EncodePng(f), kW, kH,
                              Image(kW, kH,
                                    [&](int x, int y) {
                                        // 16 bits keep the high byte; fewer are scaled up to 8.
                                        const int g = bits == 16 ? grey(x, y) >> 8 : grey(x, y) * 255 / maxValue;
                                        return Argb(255, g, g, g);
                                    }),
                              alpha ? 16 : 8, false));
    };
    addGrey("png grey 8-bit", 8, false, PNG_INTERLACE_NONE);
    addGrey("png grey 2-bit", 2, false, PNG_INTERLACE_NONE);
    addGrey("png grey 16-bit", 16, false, PNG_INTERLACE_NONE);
    addGrey("png grey+alpha 8-bit", 8, true, PNG_INTERLACE_NONE);
    addGrey("png grey 4-bit interlaced", 4, false, PNG_INTERLACE_ADAM7);

    auto addColour = [&](const char* name, int bits, bool alpha, int interlace) {
        PngFile f;
        f.bitDepth = bits;
        f.colorType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
        f.interlace = interlace;
        for (int y = 0; y < kH; ++y) {
            std::vector<int> s;
            for (int x = 0; x < kW; ++x) {
                const uint32_t c = Pattern(x, y);
                const int channels[4] = {R(c), G(c), B(c), A(c)};
                for (int i = 0; i < (alpha ? 4 : 3); ++i) {
                    s.push_back(bits == 16 ? (channels[i] << 8) | ((x * 31 + i) & 0xFF) : channels[i]);
                }
            }
            f.rows.push_back(PngRow(s, bits));
        }
        out.push_back(Fixture(name, EncodePng(f), kW, kH,
                              Image(kW, kH, [&](int x, int y) { return alpha ? Pattern(x, y) : Pattern(x, y) | 0xFF000000u; }),
                              alpha ? 32 : 24, alpha));
    };
    addColour("png rgb 8-bit", 8, false, PNG_INTERLACE_NONE);
    addColour("png rgba 8-bit", 8, true, PNG_INTERLACE_NONE);
    addColour("png rgb 16-bit", 16, false, PNG_INTERLACE_NONE);
    addColour("png rgba 16-bit interlaced", 16, true, PNG_INTERLACE_ADAM7);
    addColour("png rgb 8-bit interlaced", 8, false, PNG_INTERLACE_ADAM7);
}

// ---------------------------------------------------------------- JPEG (libjpeg's encoder and decoder)

// No destructor runs in these functions: libjpeg may jump back into them.
struct JpegJump {
    struct jpeg_error_mgr err;
    jmp_buf jump;
};
void JpegTestErrorExit(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JpegJump*>(cinfo->err)->jump, 1);
}

bool JpegCompress(const uint8_t* samples, int width, int height, int components, int quality, unsigned char** out,
                  unsigned long* outSize) {
    struct jpeg_compress_struct cinfo;
    memset(&cinfo, 0, sizeof(cinfo));
    JpegJump err;
    cinfo.err = jpeg_std_error(&err.err);
    err.err.error_exit = JpegTestErrorExit;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples + static_cast<size_t>(cinfo.next_scanline) * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

bool JpegDecompress(const uint8_t* data, size_t size, uint8_t* samples, int components) {
    struct jpeg_decompress_struct cinfo;
    memset(&cinfo, 0, sizeof(cinfo));
    JpegJump err;
    cinfo.err = jpeg_std_error(&err.err);
    err.err.error_exit = JpegTestErrorExit;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const size_t stride = static_cast<size_t>(cinfo.output_width) * components;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = samples + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// Offset just past the first start-of-scan segment: a JPEG cut there still has its complete headers.
size_t JpegScanStart(const std::vector<uint8_t>& bytes) {
    size_t pos = 2;
    while (pos + 4 <= bytes.size() && bytes[pos] == 0xFF) {
        const int marker = bytes[pos + 1];
        const size_t length = (static_cast<size_t>(bytes[pos + 2]) << 8) | bytes[pos + 3];
        if (marker == 0xDA) return pos + 2 + length;
        pos += 2 + length;
    }
    throw std::runtime_error("no start of scan");
}

void AddJpegs(std::vector<ImageFixture>& out) {
    for (int components : {1, 3}) {
        const int w = 37, h = 21;  // not a multiple of the block size
        std::vector<uint8_t> samples;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint32_t c = Pattern(x / 3, y / 3);
                if (components == 1) {
                    samples.push_back(static_cast<uint8_t>((R(c) + G(c)) / 2));
                } else {
                    samples.push_back(static_cast<uint8_t>(R(c)));
                    samples.push_back(static_cast<uint8_t>(G(c)));
                    samples.push_back(static_cast<uint8_t>(B(c)));
                }
            }
        }
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        if (!JpegCompress(samples.data(), w, h, components, 90, &buffer, &size)) throw std::runtime_error("jpeg");
        std::vector<uint8_t> bytes(buffer, buffer + size);
        free(buffer);
        std::vector<uint8_t> decoded(static_cast<size_t>(w) * h * components);
        if (!JpegDecompress(bytes.data(), bytes.size(), decoded.data(), components)) throw std::runtime_error("jpeg");
        ImageFixture f = Fixture(components == 1 ? "jpeg grey" : "jpeg colour", bytes, w, h,
                                 Image(w, h,
                                       [&](int x, int y) {
                                           const uint8_t* p = decoded.data() + (static_cast<size_t>(y) * w + x) * components;
                                           return components == 1 ? Argb(255, p[0], p[0], p[0]) : Argb(255, p[0], p[1], p[2]);
                                       }),
                                 components * 8, false);
        f.minimalPrefix = JpegScanStart(bytes);
        f.exactWhenTruncated = false;
        out.push_back(f);
    }
}

std::vector<ImageFixture> MakeAll() {
    std::vector<ImageFixture> out;
    AddPlainBmps(out);
    AddRleBmps(out);
    AddTgas(out);
    AddDds(out);
    AddBgra(out);
    AddPngs(out);
    AddJpegs(out);
    return out;
}

}  // namespace

const std::vector<ImageFixture>& AllImageFixtures() {
    static const std::vector<ImageFixture> fixtures = MakeAll();
    return fixtures;
}

const ImageFixture& FindImageFixture(const std::string& name) {
    for (const ImageFixture& f : AllImageFixtures()) {
        if (f.name == name) return f;
    }
    throw std::runtime_error("no fixture " + name);
}

const StreamFunctionTable* VectorStream::Table() {
    static const StreamFunctionTable table = {Tell, Seek, Read, Eof, Idle, Close};
    return &table;
}

int VectorStream::Tell(StreamHandle h) {
    return static_cast<int>(Of(h)->position_);
}

int VectorStream::Seek(StreamHandle h, int offset, int origin) {
    VectorStream* s = Of(h);
    int64_t target = offset;
    if (origin == 1) target += static_cast<int64_t>(s->position_);
    if (origin == 2) target += static_cast<int64_t>(s->size_);
    if (target < 0) target = 0;
    if (target > static_cast<int64_t>(s->size_)) target = static_cast<int64_t>(s->size_);
    s->position_ = static_cast<size_t>(target);
    s->end_ = 0;
    return 0;
}

size_t VectorStream::Read(void* buffer, size_t size, size_t count, StreamHandle h) {
    VectorStream* s = Of(h);
    if (size == 0) return 0;
    const size_t whole = (s->size_ - s->position_) / size;
    if (count > whole) count = whole;
    if (count == 0) {
        s->end_ = 1;
        return 0;
    }
    memcpy(buffer, s->data_ + s->position_, size * count);
    s->position_ += size * count;
    return count;
}

int VectorStream::Eof(StreamHandle h) {
    return Of(h)->end_;
}
int VectorStream::Idle(StreamHandle) {
    return 1;
}
int VectorStream::Close(StreamHandle) {
    return 0;
}

uint32_t DecodedPixel(const GraphImage& image, int x, int y) {
    const ColorFormat& f = image.format;
    const uint8_t* p = static_cast<const uint8_t*>(image.pixels) + static_cast<size_t>(y) * image.pitch +
                       static_cast<size_t>(x) * f.bytesPerPixel;
    if (f.bytesPerPixel == 1) {
        const ColorPaletteEntry& e = f.palette[p[0]];
        return Argb(255, e.red, e.green, e.blue);
    }
    uint32_t v = 0;
    for (int i = 0; i < f.bytesPerPixel; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    const uint32_t masks[4] = {f.redMask, f.greenMask, f.blueMask, f.alphaMask};
    return UnpackMasks(v, masks);
}

std::vector<uint8_t> EncodePngRgba(int width, int height, const std::vector<uint32_t>& argb, bool withAlpha) {
    PngFile f;
    f.width = width;
    f.height = height;
    f.colorType = withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    for (int y = 0; y < height; ++y) {
        std::vector<int> s;
        for (int x = 0; x < width; ++x) {
            const uint32_t c = argb[static_cast<size_t>(y) * width + x];
            s.push_back(R(c));
            s.push_back(G(c));
            s.push_back(B(c));
            if (withAlpha) s.push_back(A(c));
        }
        f.rows.push_back(PngRow(s, 8));
    }
    return EncodePng(f);
}

std::vector<uint8_t> EncodeJpegRgb(int width, int height, const std::vector<uint32_t>& argb, int quality) {
    std::vector<uint8_t> samples;
    for (uint32_t c : argb) {
        samples.push_back(static_cast<uint8_t>(R(c)));
        samples.push_back(static_cast<uint8_t>(G(c)));
        samples.push_back(static_cast<uint8_t>(B(c)));
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (!JpegCompress(samples.data(), width, height, 3, quality, &buffer, &size)) throw std::runtime_error("jpeg");
    std::vector<uint8_t> bytes(buffer, buffer + size);
    free(buffer);
    return bytes;
}

std::vector<uint8_t> EncodeBgra8(int width, int height, const std::vector<uint32_t>& argb) {
    return WriteBgra(width, height, false,
                     [&](int x, int y) { return argb[static_cast<size_t>(y) * width + x]; });
}

bool WriteBytesToFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
    return true;
}
