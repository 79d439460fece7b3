// Folder graphics/color/: colour formats, conversion and its row loops, the blend lookup tables and software images.
// It calls only the runtime core and graphics/image/'s GraphImage;
// every other graphics folder builds on it.
//
// The one record that describes every pixel layout of the graphics layer (decoded images, the screen, software
// images, textures), the ways of filling it, and the conversions between red/green/blue values and pixel values.
// The screen's layout lives here too, so colour lookups work before (and without) the display device.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <stdint.h>

// One entry of a ColorFormat palette; read as a 32-bit little-endian value it is 0x00RRGGBB.
struct ColorPaletteEntry {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
    uint8_t reserved;
};

struct ColorFormat {
    uint16_t bitDepth;       // bits per pixel: 8, 16, 24 or 32
    uint16_t bytesPerPixel;  // bitDepth / 8
    uint8_t redWidth, greenWidth, blueWidth, alphaWidth;  // bits of each channel, 0 = absent
    uint8_t redShift, greenShift, blueShift, alphaShift;  // position of each channel's lowest bit
    uint32_t redMask, greenMask, blueMask, alphaMask;
    uint32_t noneMask;                 // bits of the pixel that belong to no channel
    ColorPaletteEntry palette[256];    // 8-bit palette formats only
    uint8_t noneShift, noneWidth;      // position and width of noneMask
};

// Fills `format` from a depth and four channel masks (a zero mask is an absent channel). Returns 0.
int SetColorFormatFromMasksImpl(ColorFormat* format, int bitDepth, uint32_t redMask, uint32_t greenMask,
                                uint32_t blueMask, uint32_t alphaMask);
// Fills `format` from a DirectDraw pixel format's RGB bit count and masks. Returns 0, or -1 (with the record
// still filled) when the red, green or blue mask is empty, i.e. the layout is not a colour layout.
int SetColorFormatFromDDPixelFormat(const DDPIXELFORMAT* ddpf, ColorFormat* format);
// Zero-fills a DDPIXELFORMAT and sets size 32, flag DDPF_RGB, the bit count and the four masks. Returns 0.
int FillDDPixelFormatImpl(DDPIXELFORMAT* ddpf, int bitCount, uint32_t redMask, uint32_t greenMask,
                          uint32_t blueMask, uint32_t alphaMask);
// Recomputes noneMask from the four masks: 0 when the channel widths fill the whole depth.
void FixColorFormatNoneMask(ColorFormat* format);
// 1 when both records have the same depth and the same four channel masks, else 0.
int IsColorFormatSame(const ColorFormat* a, const ColorFormat* b);

// 8-bit palette format (masks describe the entries); the palette is left for the caller. Returns 0.
int SetPaletteColorFormat(ColorFormat* format);
// The same with a grey ramp: entry i = (i, i, i). Returns 0.
int SetGreyPaletteColorFormat(ColorFormat* format);
// 24-bit blue, green, red bytes. Returns 0.
int SetRgb24ColorFormat(ColorFormat* format);

// Pixel value of an 8-bit-per-channel colour: each channel keeps its top bits (or is widened when the channel has
// more than 8 bits); bits that belong to no channel come out set.
uint32_t RgbaToFormatValue(const ColorFormat* format, int red, int green, int blue, int alpha);
// A pixel value re-packed from one layout into another; a source without alpha gives full alpha.
uint32_t ConvertFormatValue(const ColorFormat* dstFormat, const ColorFormat* srcFormat, uint32_t value);

// What colour lookups draw in. The display device fills this whenever it (re)reads the display mode; until then
// it describes a 32-bit X8R8G8B8 screen whose graph and software images are 32-bit too.
struct DrawingFormatInfo {
    ColorFormat screenFormat;  // layout of the display mode (8-bit: the screen palette applies)
    int imageColorBits;        // depth graph and software images are made with: 16 or 32
    int memImgDrawing;         // 1 while drawing goes through software images
};
DrawingFormatInfo& GetDrawingFormatInfo();
// Back to the X8R8G8B8 start-up description.
void ResetDrawingFormatInfo();
// The layout colour lookups use now: the software-image layout of imageColorBits while drawing goes through
// software images, else the screen's.
const ColorFormat* GetDrawingColorFormat();

// Pixel value of a colour in the drawing format; on an 8-bit screen the index of the nearest screen palette entry
// (lowest index on ties). Inputs are taken modulo 256.
uint32_t RgbToScreenPixelImpl(int red, int green, int blue);
// The colour of a pixel value of the drawing format. Returns 0, or -1 (nothing written) for an 8-bit index
// outside 0..255.
int ScreenPixelToRgb(uint32_t value, int* red, int* green, int* blue);

// The 256-entry palette of 8-bit display modes. It starts from a built-in table ordered from black to white.
PALETTEENTRY* GetScreenPaletteEntries();
// What the screen palette is attached to; the display device passes its own objects.
struct ScreenPaletteTarget {
    IDirectDraw7* displayObject;   // null: no palette is made
    IDirectDrawSurface7* primary;  // may be null
    IDirectDrawSurface7* back;     // may be null (full screen: attached surfaces are found from the primary)
    int windowMode;
};
// Makes the palette object when a display object exists, none exists yet and the screen depth is 8; fills the
// entries from the built-in table and sets it on the screen surfaces. A refused palette is fatal. Returns 0.
int CreateScreenPalette(const ScreenPaletteTarget& target);
// Releases the palette object. Returns 0.
int ReleaseScreenPalette();
// Writes the kept entries into the palette object and reads them back. Returns 0.
int RefreshScreenPalette();
// After a device loss at an image depth of 8: makes the palette again with the entries it had. Returns 0.
int RestoreScreenPalette(const ScreenPaletteTarget& target);
// Surface-enumeration callback: gives the surface the palette passed as context. Returns DDENUMRET_OK.
HRESULT WINAPI SetPaletteCallback(IDirectDrawSurface7* surface, DDSURFACEDESC2* description, void* context);
// The current palette object, or null.
IDirectDrawPalette* GetScreenPaletteObject();
