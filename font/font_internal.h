// The font module's own records: the font table, each font's glyph cache (slots, a direct code map and either a
// memory block or a texture graph) and the string routine that measures or draws through it. The rest of the
// runtime reaches fonts through font/font.h; the graphics layer's string entries also read these records.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "graphics/image/image.h"

struct MEMIMG;

constexpr int kFontSlots = 40;
constexpr int kFontMaxCapacity = 2024;
constexpr int kFontCodeCount = 65536;
constexpr int kFontPendingMax = 256;
constexpr int kFontFaceBytes = 256;

// Font types: bit 0 edged, bit 1 anti-aliased.
constexpr int kFontTypeEdgeBit = 1;
constexpr int kFontTypeAntialiasBit = 2;

struct FontCodeMapEntry;

struct FontGlyphSlot {
    uint16_t inUse;
    int16_t offsetX;  // black box left of the pen
    int16_t offsetY;  // black box below the top of the line
    int16_t advance;  // includes 2 x edge
    int cellIndex;
    int16_t width;    // black box plus 2 x edge
    int16_t height;
    FontCodeMapEntry* mapEntry;
};

struct FontCodeMapEntry {
    int cached;
    FontGlyphSlot* slot;
};

// One character of a string: its one or two bytes followed by zeros; the first two read as a little-endian
// word are the character's code.
struct FontCharEntry {
    unsigned char bytes[3];
};

struct FontData {
    int checkId;
    int* deletedFlag;
    FontGlyphSlot slots[kFontMaxCapacity + 1];
    FontCodeMapEntry codeMap[kFontCodeCount];
    int nextSlot;
    int capacity;
    uint8_t* cachePixels;
    int cachePitch;
    int cacheBitsPerPixel;
    char faceName[kFontFaceBytes];
    int thickness;
    int size;
    int cellHeight;
    int italic;
    int charGap;
    int cellWidth;
    HFONT fontObject;
    int fontType;
    int charsetIndex;
    int edgeSize;
    int cacheWidth;
    int cacheHeight;
    int glyphsPerColumn;
    int drawScreen;
    int drawScreenLost;
    int cacheGraph;
    int edgeGraph;
    int cacheGraphLost;
    GraphImage workImage;
    int textureMode;
};

inline int FontEdge(const FontData* font) {
    return (font->fontType & kFontTypeEdgeBit) ? font->edgeSize : 0;
}
inline int FontCharCode(const FontCharEntry& entry) { return entry.bytes[0] | (entry.bytes[1] << 8); }

// ---- Font table (font_handle.cpp) ----
FontData* FontHandleToRecord(int fontHandle);
int SetFontCharGapToHandle(int gap, int fontHandle);
int RefreshBaseFont();
// Live fonts in the table (tests and the on-screen log's bookkeeping read it).
int GetLiveFontCount();
// The check id the next creation without one would take.
int GetFontCheckCounter();
// Test seam: moves the counter (0..2047), so a test reaches the wrap without 2048 creations.
void SetFontCheckCounterForTest(int next);
// The settings the base font is made from; graphics start-up writes them before ResetFonts.
struct BaseFontSettings {
    char faceName[kFontFaceBytes];
    int size, thickness, fontType, charsetIndex, edgeSize, italic, charGap;
};
BaseFontSettings& GetBaseFontSettings();
void SetDefaultBaseFontSettings();

// ---- Glyph cache (glyph_cache.cpp) ----
// Capacity and size of each cache layout for a cell side; sizes are 64-bit so no layout wraps.
struct FontCacheLayout {
    int capacity;
    int64_t width, height;
};
FontCacheLayout TextureCacheLayout(int cellWidth);
FontCacheLayout MemoryCacheLayout(int cellWidth);
// 1 when the device offers the two 16-bit texture formats the texture cache needs.
int CanUseTextureCache();
// Chooses the cache mode and makes the cache; -1 after its own log line when the font cannot be made.
int SetUpGlyphCache(FontData* font, int fontHandle);
int MakeFontCacheGraph(int fontHandle);
int ClearGlyphCache(int fontHandle);
int PrepareFontGlyphs(int fontHandle, const char* text, int length, FontCharEntry* entries, int* count);
FontGlyphSlot* RenderGlyphsToCache(int count, const FontCharEntry* entries, int fontHandle);
// PrepareFontGlyphs for at most maxEntries characters; *bytesUsed receives how far into the text they reach, so a
// long string is taken in pieces.
int PrepareFontGlyphsBounded(FontData* font, int fontHandle, const char* text, int length, FontCharEntry* entries,
                             int maxEntries, int* count, int* bytesUsed);

// A GetGlyphOutlineA result as the cache writers take it: the black box's pixels, row by row.
struct GlyphBitmap {
    const uint8_t* bits;  // GGO_BITMAP (1 bit, MSB first) or GGO_GRAY4_BITMAP (0..16 a byte)
    int pitch;            // bytes a row
    int width, height;    // black box
    int gray;             // 1 for GGO_GRAY4_BITMAP
};
// Writes a glyph's pixels into the memory cache's cell / into the work image, clipped to the cell. Exposed so
// the pixel encodings and edge patterns can be checked on hand-made bitmaps.
void WriteGlyphToMemoryCell(FontData* font, int cellIndex, const GlyphBitmap& glyph);
void WriteGlyphToWorkImage(FontData* font, const GlyphBitmap& glyph);
// The edge pattern of an edge size: each position's column and row offset, in the order they are visited.
int EdgePatternPositions(int edgeSize, int8_t (*positions)[2], int maxPositions);

// ---- String drawing (font_string.cpp) ----
int DrawFontString(int mode, int x, int y, int scaleFlag, double xScale, double yScale, const char* text, int colour,
                   MEMIMG* destImage, const int* clipRect, int transFlag, int fontHandle, int edgeColour, int length,
                   int vertical, int* outSize);

// Per-call inputs of the memory path (font_string_memory.cpp).
struct MemoryGlyphDraw {
    const FontData* font;
    const FontGlyphSlot* glyph;
    uint8_t* destPixels;
    int destPitch;
    int screenBits;
    RECT box;      // unclipped glyph box on the destination
    RECT clipped;  // its part inside the clip
    int vertical;
    int transFlag;
    uint32_t bodyPixel, edgePixel;  // C and E
};
void DrawGlyphToMemory(const MemoryGlyphDraw& draw);
