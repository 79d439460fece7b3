// The software image: a pixel buffer in system memory with its layout, colour key, palette and the two helper
// planes (premultiplied colours, transparent-run table) that the software renderer reads. Screens, Z buffers,
// the mask screen, locked surfaces and views onto other images are all MEMIMG records.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <stdint.h>

#include "graphics/color/color_format.h"

struct GraphImage;

constexpr uint32_t kMemImgMagic = 0x12345678u;

// Pixel types.
constexpr int kMemImgColor16 = 0;   // R5G6B5; 4 bytes with alpha (alpha in bits 16-23)
constexpr int kMemImgColor32 = 1;   // 0x00RRGGBB, alpha in bits 24-31 when present
constexpr int kMemImgChannel8 = 2;  // one 8-bit channel
constexpr int kMemImgDepth16 = 3;   // one 16-bit channel (Z buffer)

// The transparent-run table: for each row, run bytes kind | (length - 1) with lengths 1..64, then 0xC0 closing
// the row; at most width + 1 bytes a row.
typedef uint8_t TransRunTable;
constexpr uint8_t kRunTransparent = 0x00;
constexpr uint8_t kRunOpaque = 0x40;
constexpr uint8_t kRunPartial = 0x80;
constexpr uint8_t kRunRowEnd = 0xC0;

// Zero-filled before its first initialisation; the record may be embedded or allocated by its user.
struct MEMIMG {
    uint32_t magic;              // kMemImgMagic while initialised
    int32_t width;
    int32_t height;
    int32_t pitch;               // bytes from one row to the next
    int32_t pitchShift;          // log2(pitch) when rows can be addressed by a shift, else -1
    const ColorFormat* format;   // shared record of GetMemImageColorFormat, never freed by the image
    uint32_t colorKey;           // transparent value in the image's own format (an index for palette images)
    int32_t pixelType;
    int32_t hasPalette;
    int32_t paletteCount;        // largest index written + 1
    int32_t hasAlpha;
    int32_t premultipliedValid;
    int32_t runTableValid;
    int32_t pixelsNotOwned;      // the caller supplied the buffer; release leaves it alone
    void* palette;               // palette in use (the embedded table; a view points at its parent's)
    void* paletteCopy;           // second table, refreshed on every palette write
    uint8_t paletteTable[1024];      // type 0: 256 R5G6B5 words; type 1: 256 0x00RRGGBB words
    uint8_t paletteCopyTable[1024];
    uint8_t* pixels;             // pitch x height bytes, top row first
    uint8_t* premultiplied;      // pitch x height bytes (alpha images only) or null
    TransRunTable* runTable;     // (width + 5) x height bytes or null
};

#if !defined(_WIN64)
static_assert(sizeof(MEMIMG) == 2124, "MEMIMG keeps its 32-bit layout");
#endif

// Initialises a zero-filled (or released) record. `pitch` -1 picks the default (a multiple of 16 bytes); a
// non-null `pixels` on entry is taken as a caller-supplied buffer. allocExtras asks for the premultiplied plane
// (alpha images) and the run table. Returns 0, or -1 when the record is still initialised, the arguments are
// unusable or memory runs out (nothing allocated here is kept then).
int InitMemImage(MEMIMG* image, int width, int height, int pitch, uint32_t colorKey, int pixelType, int palette,
                 int alpha, int allocExtras);
// Zero-fills the record, then a plain image of the type (-1: 16-bit colour at an image depth of 16, else 32-bit).
int InitMemImageDefault(MEMIMG* image, int width, int height, int pixelType);
// Zero-fills the record, then a 16-bit Z buffer.
int InitMemImageType3(MEMIMG* image, int width, int height);
// Makes `view` a window onto the rectangle of `parent` that starts at (x, y). Nothing is checked or clipped: the
// caller passes a rectangle inside the parent. A view owns nothing and is simply dropped. Returns `view`.
MEMIMG* DeriveMemImage(MEMIMG* view, const MEMIMG* parent, int x, int y, int width, int height);
// 1 when the image has pixels, else 0.
int IsMemImageValid(const MEMIMG* image);
// Frees what the image owns and clears its magic; an uninitialised record is left alone.
void ReleaseMemImage(MEMIMG* image);

// Writes a rectangle of a decoded picture (with an optional second picture that holds its alpha) into `dst` at
// (dstX, dstY), keeps the palette, the premultiplied plane and the run table current. Negative when the
// conversion fails.
int TransferPixelsToMemImg(const ColorFormat* srcFormat, const void* srcPixels, int srcPitch,
                           const ColorFormat* alphaFormat, const void* alphaPixels, int alphaPitch, MEMIMG* dst,
                           int srcX, int srcY, int width, int height, int dstX, int dstY, int keyToAlpha);
// The same from a decoded GraphImage and its optional alpha GraphImage.
int TransferImageToMemImg(const GraphImage* image, const GraphImage* alphaImage, MEMIMG* dst, int srcX, int srcY,
                          int width, int height, int dstX, int dstY, int keyToAlpha);
// A format-converting copy between software images; srcRect null means the whole source. Returns the result of
// ColorFormatConvertBlt.
int BltMemImage(MEMIMG* dst, const MEMIMG* src, const RECT* srcRect, int dstX, int dstY);
// Copies a rectangle of `src` into a plain pixel buffer of the given layout (a decoded picture). Does nothing
// (and returns 0) for single-channel, palette and alpha sources.
int BltMemImageToPixels(void* dstPixels, int dstPitch, const ColorFormat* dstFormat, const MEMIMG* src, int srcX,
                        int srcY, int width, int height, int dstX, int dstY, uint32_t colorKey, int skipKey);
// The same into a decoded GraphImage (the software back screen as a bitmap, the mask screen).
void BltMemImageToImage(GraphImage* dst, const MEMIMG* src, int srcX, int srcY, int width, int height, int dstX,
                        int dstY, uint32_t colorKey, int skipKey);
// Writes `value` (truncated to the pixel size) into `rect` clipped to the image; null means the whole image.
// Images of 3 bytes per pixel are left unchanged.
void FillMemImageRect(MEMIMG* image, const RECT* rect, uint32_t value);

// The shared layout record of a pixel type (null for an unknown type); built on first request and kept.
const ColorFormat* GetMemImageColorFormat(int pixelType, int alpha, int palette);
// The same layouts as DirectDraw pixel formats.
const DDPIXELFORMAT* GetMemImageColorFormatB(int pixelType, int alpha, int palette);

// Rebuilds the premultiplied plane and the run table from the pixels (both must be allocated). Used after every
// whole-image write; exposed for the renderers' tests.
void RebuildMemImagePremultiplied(MEMIMG* image);
void RebuildMemImageRunTable(MEMIMG* image);
// The allocator InitMemImage takes its buffers from (blocks are given back with TrackedFree); null restores
// TrackedAlloc. Lets tests make a chosen allocation fail.
using MemImgAllocFunction = void* (*)(size_t size, const char* sourceName, int line);
void SetMemImageAllocator(MemImgAllocFunction allocate);
// 1 when a non-empty rectangle of width x height at (x, y) leaves an image of imageWidth x imageHeight (the copies
// refuse those before a pixel moves; empty ones the conversion refuses itself), else 0.
int CopyRectLeavesImage(int x, int y, int width, int height, int imageWidth, int imageHeight);
// Logs the refusal of such a rectangle. Returns -1.
int RefuseCopyRect();
// Bytes per pixel of an image of the given kind.
int MemImageBytesPerPixel(int pixelType, int palette, int alpha);
