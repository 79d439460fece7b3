// The start-up pieces of the Direct3D back end on their own, fed with made-up device descriptions and pixel
// formats: the choice of device, the Z format, the texture format table with its fallbacks, and the texture size
// limits.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/d3d/d3d_device.h"

namespace {

struct FakeDevice {
    const GUID* guid;
    DWORD renderDepths;
    DWORD marker;  // tells two devices of one kind apart (kept in dwDevCaps)
};

// Runs the enumeration callback over the devices as the platform would: in order, until it says stop.
DeviceSearch3D Enumerate(int screenBits, const std::vector<FakeDevice>& devices) {
    DeviceSearch3D search;
    std::memset(&search, 0, sizeof(search));
    search.screenBits = screenBits;
    char name[] = "device";
    for (const FakeDevice& f : devices) {
        D3DDEVICEDESC7 desc;
        std::memset(&desc, 0, sizeof(desc));
        desc.deviceGUID = *f.guid;
        desc.dwDeviceRenderBitDepth = f.renderDepths;
        desc.dwDevCaps = f.marker;
        if (EnumDevice3DCallback(name, name, &desc, &search) == D3DENUMRET_CANCEL) break;
    }
    return search;
}

TEST(D3DDeviceChoice, HardwareDeviceForTheScreenDepthWithTransformAndLightingPreferred) {
    const GUID* tnl = &IID_IDirect3DTnLHalDevice;
    const GUID* hal = &IID_IDirect3DHALDevice;
    const GUID* rgb = &IID_IDirect3DRGBDevice;
    struct Case {
        const char* name;
        int screenBits;
        std::vector<FakeDevice> devices;
        int found;
        DWORD marker;
    } cases[] = {
        {"software device only", 32, {{rgb, DDBD_16 | DDBD_32, 1}}, 0, 0},
        {"HAL without the 16-bit depth on a 16-bit screen", 16, {{hal, DDBD_32, 1}}, 0, 0},
        {"HAL on a 16-bit screen", 16, {{rgb, DDBD_16, 1}, {hal, DDBD_16, 2}}, 1, 2},
        {"a later HAL replaces an earlier one", 32, {{hal, DDBD_32, 1}, {hal, DDBD_16 | DDBD_32, 2}}, 1, 2},
        {"TnL HAL ends the search", 32, {{hal, DDBD_32, 1}, {tnl, DDBD_32, 2}, {hal, DDBD_32, 3}}, 1, 2},
        {"TnL HAL of the wrong depth is passed over", 16, {{tnl, DDBD_32, 1}, {hal, DDBD_16, 2}}, 1, 2},
        {"a 24-bit screen matches nothing", 24, {{tnl, DDBD_16 | DDBD_24 | DDBD_32, 1}}, 0, 0},
    };
    for (const Case& c : cases) {
        const DeviceSearch3D result = Enumerate(c.screenBits, c.devices);
        EXPECT_EQ(result.found, c.found) << c.name;
        if (c.found) {
            EXPECT_EQ(result.desc.dwDevCaps, c.marker) << c.name;
        }
    }
}

DDPIXELFORMAT Rgb(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a = 0, DWORD extraFlags = 0) {
    DDPIXELFORMAT f;
    std::memset(&f, 0, sizeof(f));
    f.dwSize = sizeof(f);
    f.dwFlags = DDPF_RGB | (a != 0 ? DDPF_ALPHAPIXELS : 0) | extraFlags;
    f.dwRGBBitCount = bits;
    f.dwRBitMask = r, f.dwGBitMask = g, f.dwBBitMask = b, f.dwRGBAlphaBitMask = a;
    return f;
}

const DDPIXELFORMAT kX1R5G5B5 = Rgb(16, 0x7C00, 0x3E0, 0x1F);
const DDPIXELFORMAT kR5G6B5 = Rgb(16, 0xF800, 0x7E0, 0x1F);
const DDPIXELFORMAT kA1R5G5B5 = Rgb(16, 0x7C00, 0x3E0, 0x1F, 0x8000);
const DDPIXELFORMAT kA4R4G4B4 = Rgb(16, 0xF00, 0xF0, 0xF, 0xF000);
const DDPIXELFORMAT kX8R8G8B8 = Rgb(32, 0xFF0000, 0xFF00, 0xFF);
const DDPIXELFORMAT kA8R8G8B8 = Rgb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);

TextureFormatSearch3D EnumerateFormats(const ColorFormat& screen, std::vector<DDPIXELFORMAT> formats) {
    TextureFormatSearch3D search;
    std::memset(&search, 0, sizeof(search));
    search.screen = screen;
    for (DDPIXELFORMAT& f : formats) EnumTextureFormatCallback(&f, &search);
    return search;
}

ColorFormat FormatOf(const DDPIXELFORMAT& f) {
    ColorFormat c;
    std::memset(&c, 0, sizeof(c));
    DDPIXELFORMAT copy = f;
    SetColorFormatFromDDPixelFormat(&copy, &c);
    return c;
}

bool RowIs(const TextureFormatRow& row, const DDPIXELFORMAT& f) {
    const ColorFormat want = FormatOf(f);
    return row.format.bitDepth != 0 && IsColorFormatSame(&row.format, &want) &&
           row.pixelFormat.dwRGBAlphaBitMask == f.dwRGBAlphaBitMask;
}

TEST(D3DTextureFormats, RowsAndFallbacksFollowWhatTheDeviceOffers) {
    const ColorFormat screen32 = FormatOf(kX8R8G8B8);
    const ColorFormat screen16 = FormatOf(kR5G6B5);
    DDPIXELFORMAT luminance = Rgb(16, 0xFF, 0xFF00, 0, 0, DDPF_LUMINANCE);
    DDPIXELFORMAT bump = Rgb(16, 0x1F, 0x3E0, 0xFC00, 0, DDPF_BUMPDUDV);
    DDPIXELFORMAT fourCc;
    std::memset(&fourCc, 0, sizeof(fourCc));
    fourCc.dwSize = sizeof(fourCc);
    fourCc.dwFlags = DDPF_FOURCC;
    fourCc.dwFourCC = MAKEFOURCC('D', 'X', 'T', '1');

    struct Case {
        const char* name;
        ColorFormat screen;
        std::vector<DDPIXELFORMAT> offered;
        int complete;
        const DDPIXELFORMAT* rows[9];  // null: empty row
    } cases[] = {
        {"a full device on a 32-bit screen: the first 16-bit plain format",
         screen32,
         {luminance, fourCc, kX1R5G5B5, kA1R5G5B5, kA4R4G4B4, kR5G6B5, kX8R8G8B8, kA8R8G8B8, bump},
         0,
         {&kX1R5G5B5, &kX8R8G8B8, &kA4R4G4B4, &kA8R8G8B8, &kA1R5G5B5, &kA8R8G8B8, &kX1R5G5B5, &kX8R8G8B8,
          &kA8R8G8B8}},
        {"a 16-bit screen prefers its own layout",
         screen16,
         {kX1R5G5B5, kR5G6B5, kX8R8G8B8, kA4R4G4B4, kA8R8G8B8, kA1R5G5B5},
         0,
         {&kR5G6B5, &kX8R8G8B8, &kA4R4G4B4, &kA8R8G8B8, &kA1R5G5B5, &kA8R8G8B8, &kR5G6B5, &kX8R8G8B8, &kA8R8G8B8}},
        {"no 4:4:4:4 but 8:8:8:8: rows 2 and 4 stay empty",
         screen32,
         {kX1R5G5B5, kA8R8G8B8},
         0,
         {&kX1R5G5B5, &kX1R5G5B5, nullptr, &kA8R8G8B8, nullptr, &kA8R8G8B8, &kX1R5G5B5, &kX1R5G5B5, &kA8R8G8B8}},
        {"only 4:4:4:4: the alpha rows fall back on it", screen32, {kR5G6B5, kA4R4G4B4}, 0,
         {&kR5G6B5, &kR5G6B5, &kA4R4G4B4, &kA4R4G4B4, &kA4R4G4B4, &kA4R4G4B4, &kR5G6B5, &kR5G6B5, &kA4R4G4B4}},
        {"32-bit plain formats without a 16-bit one fail", screen32, {kX8R8G8B8, kA8R8G8B8, kA4R4G4B4}, -1, {}},
        {"a luminance format is no 16-bit plain format", screen32, {luminance, kX8R8G8B8}, -1, {}},
    };
    for (const Case& c : cases) {
        TextureFormatSearch3D search = EnumerateFormats(c.screen, c.offered);
        ASSERT_EQ(CompleteTextureFormatTable(&search), c.complete) << c.name;
        if (c.complete != 0) continue;
        for (int row = 0; row < kTextureFormatRows; ++row) {
            if (c.rows[row] == nullptr) {
                EXPECT_EQ(search.rows[row].format.bitDepth, 0) << c.name << ": row " << row;
            } else {
                EXPECT_TRUE(RowIs(search.rows[row], *c.rows[row])) << c.name << ": row " << row;
            }
        }
    }
}

TEST(D3DZFormat, FirstPlainSixteenBitDepthFormatIsKept) {
    auto z = [](DWORD flags, DWORD bits, DWORD mask) {
        DDPIXELFORMAT f;
        std::memset(&f, 0, sizeof(f));
        f.dwSize = sizeof(f);
        f.dwFlags = flags;
        f.dwZBufferBitDepth = bits;
        f.dwZBitMask = mask;
        return f;
    };
    std::vector<DDPIXELFORMAT> formats = {z(DDPF_ZBUFFER, 24, 0xFFFFFF), z(DDPF_ZBUFFER | DDPF_STENCILBUFFER, 16, 0x7FFF),
                                          z(DDPF_ZBUFFER, 16, 0xFFFF), z(DDPF_ZBUFFER, 16, 0xFFFE)};
    ZFormatSearch3D search;
    std::memset(&search, 0, sizeof(search));
    size_t seen = 0;
    for (DDPIXELFORMAT& f : formats) {
        ++seen;
        if (EnumZBufferFormatCallback(&f, &search) == D3DENUMRET_CANCEL) break;
    }
    EXPECT_EQ(search.found, 1);
    EXPECT_EQ(search.format.dwZBitMask, 0xFFFFu);
    EXPECT_EQ(seen, 3u) << "the search ends at the format it keeps";
}

TEST(D3DTextureLimits, ReportedZeroGivesTheDefaults) {
    struct Case {
        DWORD minW, minH, maxW, maxH;
        unsigned int minSize, maxSize;
    } cases[] = {
        {0, 0, 0, 0, 32, 256},
        {1, 1, 16384, 16384, 1, 16384},
        {8, 4, 2048, 1024, 4, 1024},
        {0, 2, 512, 0, 32, 256},
    };
    for (const Case& c : cases) {
        D3DDEVICEDESC7 desc;
        std::memset(&desc, 0, sizeof(desc));
        desc.dwMinTextureWidth = c.minW, desc.dwMinTextureHeight = c.minH;
        desc.dwMaxTextureWidth = c.maxW, desc.dwMaxTextureHeight = c.maxH;
        unsigned int minSize = 0, maxSize = 0;
        TextureSizeLimitsOf(desc, &minSize, &maxSize);
        EXPECT_EQ(minSize, c.minSize);
        EXPECT_EQ(maxSize, c.maxSize);
    }
}

}  // namespace
