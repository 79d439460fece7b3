// The glyph cache of a font: fixed square cells filled round robin, a direct code map from each 16-bit character
// code to its slot, and the cache itself as a 16-bit texture graph (white ink, coverage in alpha) or a block of
// memory (1 or 8 bits a pixel). Glyphs come from GetGlyphOutlineA and are written with their edge patterns.
#include <string.h>

#include "font/font.h"
#include "font/font_internal.h"
#include "graphics/d3d/device3d.h"
#include "graphics/derive.h"
#include "graphics/ddraw/display.h"
#include "graphics/graph.h"
#include "graphics/restore.h"
#include "graphics/ddraw/surface2d.h"
#include "runtime/log.h"
#include "runtime/memory.h"

namespace {

FontCharEntry g_pendingCodes[kFontPendingMax];

// The largest cache graph side we ask the graph layer for; a layout beyond it counts as a failed cache graph.
constexpr int64_t kMaxCacheGraphSide = 16384;
// The largest memory cache we allocate.
constexpr int64_t kMaxCacheBytes = 0x7FFFFFFF;

bool DisplayObjectMissing() { return IsDirectDrawActive() == 1 && GetDisplayObject() == nullptr; }

// Rows of the edge patterns for edge sizes 2 to 4: for each row offset, the half-width of its columns.
int EdgeHalfWidth(int edgeSize, int row) {
    const int r = row < 0 ? -row : row;
    switch (edgeSize) {
        case 2: return r == 2 ? 1 : 2;
        case 3: return r == 3 ? 0 : r == 0 ? 3 : 2;
        case 4: return r == 4 ? 2 : r == 3 ? 3 : 4;
        default: return edgeSize;
    }
}

// Calls visit(column offset, row offset) for each position of the edge pattern in its order: the four direct
// neighbours for edge size 1, else the rows of the pattern top to bottom, each row left to right.
template <class Visit>
void ForEachEdgePosition(int edgeSize, Visit visit) {
    if (edgeSize <= 0) return;
    if (edgeSize == 1) {
        visit(0, -1);
        visit(0, 1);
        visit(-1, 0);
        visit(1, 0);
        return;
    }
    for (int r = -edgeSize; r <= edgeSize; ++r) {
        const int half = EdgeHalfWidth(edgeSize, r);
        for (int c = -half; c <= half; ++c) visit(c, r);
    }
}

// A glyph pixel: 1 or 0 for a one-bit bitmap, the coverage 0..16 for a grey one.
inline int GlyphPixel(const GlyphBitmap& g, int x, int y) {
    const uint8_t* row = g.bits + (size_t)y * g.pitch;
    if (g.gray) return row[x];
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// The black box columns that the bitmap rows really hold.
inline int ReadableWidth(const GlyphBitmap& g) {
    const int limit = g.gray ? g.pitch : g.pitch * 8;
    return g.width < limit ? g.width : limit;
}

bool Edged(const FontData* font) { return (font->fontType & kFontTypeEdgeBit) != 0; }

int CacheGraphWidth(const FontData* font) { return Edged(font) ? 2 * font->cacheWidth : font->cacheWidth; }

int SetUpMemoryCache(FontData* font, int fontHandle) {
    const FontCacheLayout layout = MemoryCacheLayout(font->cellWidth);
    const int bits = font->fontType == 0 ? 1 : 8;
    const int64_t pitch = ((int64_t)font->cellWidth * bits + 7) / 8;
    const int64_t bytes = pitch * layout.height;
    font->cacheBitsPerPixel = bits;
    font->capacity = layout.capacity;
    font->cacheWidth = (int)layout.width;
    font->glyphsPerColumn = layout.capacity;
    font->cachePitch = (int)pitch;
    font->cachePixels = nullptr;
    if (layout.height <= kMaxCacheBytes && bytes <= kMaxCacheBytes) {
        font->cacheHeight = (int)layout.height;
        font->cachePixels = static_cast<uint8_t*>(TrackedAllocZeroed((size_t)bytes, "", 0));
    }
    if (font->cachePixels == nullptr) {
        WriteLog("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
        return -1;
    }
    font->drawScreenLost = 1;
    if (MakeFontCacheGraph(fontHandle) != 0) {
        WriteLog("フォント用描画スクリーンの作成に失敗しました\n");
        return -1;
    }
    return 0;
}

}  // namespace

int EdgePatternPositions(int edgeSize, int8_t (*positions)[2], int maxPositions) {
    int n = 0;
    ForEachEdgePosition(edgeSize, [&](int c, int r) {
        if (n < maxPositions) {
            positions[n][0] = (int8_t)c;
            positions[n][1] = (int8_t)r;
        }
        ++n;
    });
    return n;
}

FontCacheLayout TextureCacheLayout(int cellWidth) {
    FontCacheLayout layout = {0, 512, 512};
    const int64_t cell = cellWidth > 0 ? cellWidth : 1;
    int64_t capacity = (512 / cell) * (512 / cell);
    while (capacity < 10) {
        if (layout.width > layout.height) {
            layout.height *= 2;
        } else {
            layout.width *= 2;
        }
        capacity = (layout.width / cell) * (layout.height / cell);
    }
    layout.capacity = (int)(capacity > kFontMaxCapacity ? kFontMaxCapacity : capacity);
    return layout;
}

FontCacheLayout MemoryCacheLayout(int cellWidth) {
    const int64_t cell = cellWidth > 0 ? cellWidth : 1;
    int64_t capacity = 0x50000 / (cell * cell);
    if (capacity < 20) capacity = 20;
    if (capacity > kFontMaxCapacity) capacity = kFontMaxCapacity;
    return FontCacheLayout{(int)capacity, cell, cell * capacity};
}

int CanUseTextureCache() {
    if (GetUse3D() != 1 || !Is3DPathUp() || IsMemImgDrawMode() == 1) return 0;
    const ColorFormat* alpha = GetFontTextureFormat(1, 0, 0, 0);
    const ColorFormat* test = GetFontTextureFormat(0, 1, 0, 0);
    if (alpha == nullptr || test == nullptr) return 0;
    const bool alphaOk = alpha->bitDepth == 16 && alpha->alphaWidth == 4 && alpha->redWidth == 4 &&
                         alpha->greenWidth == 4 && alpha->blueWidth == 4;
    const bool testOk = test->bitDepth == 16 && test->alphaWidth == 1 && test->redWidth == 5 &&
                        test->greenWidth == 5 && test->blueWidth == 5;
    return alphaOk && testOk ? 1 : 0;
}

int SetUpGlyphCache(FontData* font, int fontHandle) {
    if (font->textureMode == 1) {
        const FontCacheLayout layout = TextureCacheLayout(font->cellWidth);
        const int64_t graphWidth = Edged(font) ? 2 * layout.width : layout.width;
        bool made = false;
        if (graphWidth <= kMaxCacheGraphSide && layout.height <= kMaxCacheGraphSide) {
            font->capacity = layout.capacity;
            font->cacheWidth = (int)layout.width;
            font->cacheHeight = (int)layout.height;
            font->glyphsPerColumn = (int)(layout.height / font->cellWidth);
            font->cacheGraphLost = 1;
            made = MakeFontCacheGraph(fontHandle) == 0;
        }
        if (!made) {
            WriteLog("テクスチャ文字キャッシュの作成に失敗しました\n");
            font->textureMode = 0;
            font->cacheGraphLost = 0;
        } else {
            const bool antialiased = (font->fontType & kFontTypeAntialiasBit) != 0;
            const ColorFormat* format = GetFontTextureFormat(antialiased ? 1 : 0, antialiased ? 0 : 1, 0, 0);
            GraphImage& work = font->workImage;
            work.format = *format;
            work.width = Edged(font) ? 2 * font->cellWidth : font->cellWidth;
            work.height = font->cellWidth + (Edged(font) ? 2 * font->edgeSize : 0);
            work.pitch = format->bytesPerPixel * work.width;
            const int64_t bytes = (int64_t)work.pitch * work.height;
            work.pixels = bytes <= kMaxCacheBytes ? TrackedAllocZeroed((size_t)bytes, "", 0) : nullptr;
            if (work.pixels == nullptr) {
                WriteLog("文字キャッシュ処理用メモリの確保に失敗しました\n");
                return -1;
            }
            return 0;
        }
    }
    return SetUpMemoryCache(font, fontHandle);
}

int MakeFontCacheGraph(int fontHandle) {
    FontData* font = FontHandleToRecord(fontHandle);
    if (font == nullptr) return -1;
    if (font->drawScreenLost == 1) {
        font->drawScreenLost = 0;
        const DisplayState& display = GetDisplayState();
        const int width = display.screenWidth > 0 ? display.screenWidth : 640;
        const int height = display.screenHeight > 0 ? display.screenHeight : 480;
        unsigned char creation[kCreationByteCount] = {};
        creation[kCreateTexture] = 0;
        creation[kCreateAlpha] = (font->fontType & kFontTypeAntialiasBit) ? 1 : 0;
        creation[kCreateDrawValid] = 0;
        creation[kCreateSystemMemory] = 1;
        creation[kCreateAlphaTest] = 0;
        creation[kCreateColorBits] = (unsigned char)(display.screenBits != 0 ? display.screenBits : 16);
        font->drawScreen = AddSurface2D(nullptr, width, height, 0, 0, (uint32_t)-1, 0, 0, creation);
        if (font->drawScreen < 0) {
            font->drawScreen = -1;
            return -1;
        }
        SetSurface2DDeletedFlagPtr(font->drawScreen, &font->drawScreenLost);
    }
    if (font->cacheGraphLost == 1) {
        font->cacheGraphLost = 0;
        const bool antialiased = (font->fontType & kFontTypeAntialiasBit) != 0;
        const int savedBlank = GetBlankGraphParam();
        const int savedDepth = GetGraphCreateDepth();
        const int savedFlag = GetGraphCreateFlag();
        // The setting itself is put back, not whether a device happened to be current.
        const int savedUse3D = GetUse3D();
        SetBlankGraphParam(antialiased ? 1 : 0);
        SetGraphCreateFlag(antialiased ? 0 : 1);
        SetGraphCreateDepth(16);
        SetUse3D(1);
        font->cacheGraph = CreateEmptyGraphImpl(CacheGraphWidth(font), font->cacheHeight, 0);
        font->edgeGraph = -1;
        if (font->cacheGraph >= 0 && Edged(font)) {
            font->edgeGraph = DeriveSubGraphImpl(font->cacheWidth, 0, 2 * font->cacheWidth, font->cacheHeight,
                                                 font->cacheGraph);
        }
        SetBlankGraphParam(savedBlank);
        SetGraphCreateFlag(savedFlag);
        SetGraphCreateDepth(savedDepth);
        SetUse3D(savedUse3D);
        if (font->cacheGraph < 0) {
            font->cacheGraph = -1;
            return -1;
        }
        SetGraphLostFlagPointer(font->cacheGraph, &font->cacheGraphLost);
        FillGraphImpl(font->cacheGraph, 255, 255, 255, 0);
        ClearGlyphCache(fontHandle);
    }
    return 0;
}

int ClearGlyphCache(int fontHandle) {
    FontData* font = FontHandleToRecord(fontHandle);
    if (font == nullptr) return -1;
    memset(font->codeMap, 0, sizeof(font->codeMap));
    memset(font->slots, 0, sizeof(font->slots));
    for (int i = 0; i < font->capacity; ++i) font->slots[i].cellIndex = i;
    font->slots[font->capacity].cellIndex = -1;
    font->nextSlot = 0;
    return 0;
}

int PrepareFontGlyphsBounded(FontData* font, int fontHandle, const char* text, int length, FontCharEntry* entries,
                             int maxEntries, int* count, int* bytesUsed) {
    int n = lstrlenA(text);
    if (length != -1 && length < n) n = length;
    int pending = 0;
    int chars = 0;
    int position = 0;
    while (position < n && chars < maxEntries) {
        FontCharEntry entry = {};
        const unsigned char* p = reinterpret_cast<const unsigned char*>(text) + position;
        if (IsLeadByte(p, font->charsetIndex)) {
            entry.bytes[0] = p[0];
            entry.bytes[1] = p[1];  // at most the terminating zero
            position += 2;
        } else {
            entry.bytes[0] = p[0];
            position += 1;
        }
        entries[chars++] = entry;
        if (!font->codeMap[FontCharCode(entry)].cached && pending < kFontPendingMax && pending < font->capacity) {
            g_pendingCodes[pending++] = entry;
        }
    }
    if (pending > 0) RenderGlyphsToCache(pending, g_pendingCodes, fontHandle);
    if (count != nullptr) *count = chars;
    if (bytesUsed != nullptr) *bytesUsed = position;
    return 0;
}

int PrepareFontGlyphs(int fontHandle, const char* text, int length, FontCharEntry* entries, int* count) {
    FontData* font = FontHandleToRecord(fontHandle);
    if (font == nullptr || text == nullptr) return -1;
    return PrepareFontGlyphsBounded(font, fontHandle, text, length, entries, 0x7FFFFFFF, count, nullptr);
}

void WriteGlyphToMemoryCell(FontData* font, int cellIndex, const GlyphBitmap& glyph) {
    const int cell = font->cellWidth;
    const int e = FontEdge(font);
    uint8_t* base = font->cachePixels + (size_t)cellIndex * cell * font->cachePitch;
    const int width = ReadableWidth(glyph);
    const int rows = glyph.height;
    auto inCell = [cell](int x, int y) { return x >= 0 && y >= 0 && x < cell && y < cell; };
    auto at = [&](int x, int y) -> uint8_t& { return base[(size_t)y * font->cachePitch + x]; };

    switch (font->fontType) {
        case 0: {
            const int bytes = glyph.pitch < font->cachePitch ? glyph.pitch : font->cachePitch;
            for (int y = 0; y < rows && y < cell; ++y) {
                memcpy(base + (size_t)y * font->cachePitch, glyph.bits + (size_t)y * glyph.pitch, (size_t)bytes);
            }
            // Bits past the cell's width in the last byte belong to no pixel; keep them clear.
            if (cell % 8 != 0 && bytes == font->cachePitch) {
                const uint8_t keep = (uint8_t)(0xFF << (8 - cell % 8));
                for (int y = 0; y < rows && y < cell; ++y) base[(size_t)y * font->cachePitch + bytes - 1] &= keep;
            }
            break;
        }
        case 2:
            for (int y = 0; y < rows; ++y) {
                for (int x = 0; x < width; ++x) {
                    const int v = GlyphPixel(glyph, x, y);
                    if (v >= 1 && inCell(x + e, y + e)) at(x + e, y + e) = (uint8_t)(v - 1);
                }
            }
            break;
        case 1:
            for (int y = 0; y < rows; ++y) {
                for (int x = 0; x < width; ++x) {
                    if (!GlyphPixel(glyph, x, y)) continue;
                    const int px = x + e, py = y + e;
                    if (inCell(px, py)) at(px, py) = 1;
                    ForEachEdgePosition(font->edgeSize, [&](int c, int r) {
                        if (inCell(px + c, py + r) && at(px + c, py + r) != 1) at(px + c, py + r) = 2;
                    });
                }
            }
            break;
        case 3:
            for (int y = 0; y < rows; ++y) {
                for (int x = 0; x < width; ++x) {
                    const int v = GlyphPixel(glyph, x, y);
                    if (v < 1) continue;
                    const int px = x + e, py = y + e;
                    if (inCell(px, py)) at(px, py) |= (uint8_t)(v - 1);
                    const int a = (v - 1) * 16;
                    ForEachEdgePosition(font->edgeSize, [&](int c, int r) {
                        if (!inCell(px + c, py + r)) return;
                        uint8_t& d = at(px + c, py + r);
                        if ((d & 0xF0) < a) d = (uint8_t)((d & 0x0F) | a);
                    });
                }
            }
            break;
        default:
            break;
    }
}

void WriteGlyphToWorkImage(FontData* font, const GlyphBitmap& glyph) {
    GraphImage& work = font->workImage;
    const ColorFormat& f = work.format;
    const uint16_t white = (uint16_t)(f.redMask | f.greenMask | f.blueMask);
    const uint16_t alphaBit = (uint16_t)f.alphaMask;
    const int alphaShift = f.alphaWidth + f.alphaShift - 4;
    auto alphaOf = [alphaShift](int v) { return (uint16_t)((v << alphaShift) - 1); };
    const int cell = font->cellWidth;
    const int e = FontEdge(font);
    const int width = ReadableWidth(glyph);
    const int rows = glyph.height;
    auto inCell = [cell](int x, int y) { return x >= 0 && y >= 0 && x < cell && y < cell; };
    auto ink = [&](int x, int y) -> uint16_t& {
        return reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(work.pixels) + (size_t)y * work.pitch)[x];
    };
    auto edge = [&](int x, int y) -> uint16_t& { return ink(x + cell, y); };

    switch (font->fontType) {
        case 0:
        case 2:
            for (int y = 0; y < rows && y < cell; ++y) {
                for (int x = 0; x < width && x < cell; ++x) {
                    const int v = GlyphPixel(glyph, x, y);
                    if (font->fontType == 0) {
                        ink(x, y) = v ? (uint16_t)(white | alphaBit) : white;
                    } else {
                        ink(x, y) = v >= 1 ? (uint16_t)(alphaOf(v) | white) : white;
                    }
                }
            }
            break;
        case 1:
            for (int y = 0; y < rows; ++y) {
                for (int x = 0; x < width; ++x) {
                    if (!GlyphPixel(glyph, x, y)) continue;
                    const int px = x + e, py = y + e;
                    if (inCell(px, py)) ink(px, py) = (uint16_t)(white | alphaBit);
                    ForEachEdgePosition(font->edgeSize, [&](int c, int r) {
                        if (!inCell(px + c, py + r)) return;
                        uint16_t& d = edge(px + c, py + r);
                        if (!(d & alphaBit)) d = (uint16_t)(white | alphaBit);
                    });
                }
            }
            break;
        case 3: {
            for (int y = 0; y < rows; ++y) {
                for (int x = 0; x < width; ++x) {
                    const int v = GlyphPixel(glyph, x, y);
                    if (v < 1) continue;
                    const int px = x + e, py = y + e;
                    if (inCell(px, py)) ink(px, py) = (uint16_t)v;
                    ForEachEdgePosition(font->edgeSize, [&](int c, int r) {
                        if (!inCell(px + c, py + r)) return;
                        uint16_t& d = edge(px + c, py + r);
                        d = (uint16_t)((256 - (16 - d) * (16 - v)) >> 4);
                    });
                }
            }
            const int boxW = glyph.width + 2 * e, boxH = glyph.height + 2 * e;
            for (int y = 0; y < boxH && y < cell; ++y) {
                for (int x = 0; x < boxW && x < cell; ++x) {
                    uint16_t& i = ink(x, y);
                    i = i >= 1 ? (uint16_t)(alphaOf(i) | white) : white;
                    uint16_t& d = edge(x, y);
                    d = d >= 1 ? (uint16_t)(alphaOf(d) | white) : white;
                }
            }
            break;
        }
        default:
            break;
    }
}

FontGlyphSlot* RenderGlyphsToCache(int count, const FontCharEntry* entries, int fontHandle) {
    if (DisplayObjectMissing()) return nullptr;
    FontData* font = FontHandleToRecord(fontHandle);
    if (font == nullptr || count < 1) return nullptr;

    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = dc != nullptr ? SelectObject(dc, font->fontObject) : nullptr;
    if (dc == nullptr || previous == nullptr || previous == HGDI_ERROR) {
        FatalError("テキストキャッシュサーフェスのＤＣの取得に失敗しました");
    }
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    const int e = FontEdge(font);
    const UINT format = (font->fontType & kFontTypeAntialiasBit) ? GGO_GRAY4_BITMAP : GGO_BITMAP;
    MAT2 matrix = {};
    matrix.eM11.value = 1;
    matrix.eM22.value = 1;

    FontGlyphSlot* slot = nullptr;
    for (int i = 0; i < count; ++i) {
        const FontCharEntry& entry = entries[i];
        slot = &font->slots[font->nextSlot];
        if (slot->inUse) {
            slot->mapEntry->cached = 0;
            slot->mapEntry->slot = nullptr;
            slot->inUse = 0;
            // The cell is about to change under draws that may still wait in the vertex batch.
            if (font->textureMode == 1) FlushVertexBatch3D();
        }
        FontCodeMapEntry* map = &font->codeMap[FontCharCode(entry)];
        map->cached = 1;
        map->slot = slot;
        slot->inUse = 1;
        slot->mapEntry = map;

        const int cellIndex = slot->cellIndex;
        const int cellX = font->cellWidth * (cellIndex / font->glyphsPerColumn);
        const int cellY = font->cellWidth * (cellIndex % font->glyphsPerColumn);
        if (font->textureMode == 1) {
            memset(font->workImage.pixels, 0, (size_t)font->workImage.pitch * font->workImage.height);
        } else {
            memset(font->cachePixels + (size_t)cellIndex * font->cellWidth * font->cachePitch, 0,
                   (size_t)font->cellWidth * font->cachePitch);
        }

        const bool twoByte = entry.bytes[1] != 0;
        const UINT character = twoByte ? (UINT)(entry.bytes[0] * 256 + entry.bytes[1]) : entry.bytes[0];
        GLYPHMETRICS gm = {};
        const DWORD size = GetGlyphOutlineA(dc, character, format, &gm, 0, nullptr, &matrix);
        if (size == GDI_ERROR) FatalError("GetGlyphOutline 関数が失敗しました");

        const bool space = (entry.bytes[0] == 0x20 && !twoByte) || (entry.bytes[0] == 0x81 && entry.bytes[1] == 0x40);
        bool empty = false;
        if (space) {
            slot->advance = (int16_t)gm.gmCellIncX;
            slot->width = slot->height = 0;
        } else {
            slot->offsetX = (int16_t)gm.gmptGlyphOrigin.x;
            slot->offsetY = (int16_t)(metrics.tmAscent - gm.gmptGlyphOrigin.y);
            slot->advance = (int16_t)gm.gmCellIncX;
            const int pitch = gm.gmBlackBoxY > 0 ? (int)(size / gm.gmBlackBoxY) & ~3 : 0;
            // A glyph without pixels (what a face lacking the character gives) keeps its advance only.
            empty = size == 0 || pitch == 0;
            if (empty) {
                slot->width = slot->height = 0;
            } else {
                uint8_t* buffer = static_cast<uint8_t*>(TrackedAllocZeroed(size, "", 0));
                if (buffer == nullptr) FatalError("アンチエイリアス文字取得用バッファの確保に失敗しました");
                if (GetGlyphOutlineA(dc, character, format, &gm, size, buffer, &matrix) == GDI_ERROR) {
                    FatalError("GetGlyphOutline 関数が失敗しました");
                }
                slot->width = (int16_t)gm.gmBlackBoxX;
                slot->height = (int16_t)gm.gmBlackBoxY;
                const GlyphBitmap glyph = {buffer, pitch, (int)gm.gmBlackBoxX, (int)gm.gmBlackBoxY,
                                           format == GGO_GRAY4_BITMAP ? 1 : 0};
                if (font->textureMode == 1) {
                    WriteGlyphToWorkImage(font, glyph);
                } else {
                    WriteGlyphToMemoryCell(font, cellIndex, glyph);
                }
                TrackedFree(buffer);
            }
        }
        slot->advance = (int16_t)(slot->advance + 2 * e);
        if (!empty) {
            slot->width = (int16_t)(slot->width + 2 * e);
            slot->height = (int16_t)(slot->height + 2 * e);
        }
        // What lies past the cell was not stored; the glyph is drawn as far as its cell reaches.
        if (slot->width > font->cellWidth) slot->width = (int16_t)font->cellWidth;
        if (slot->height > font->cellWidth) slot->height = (int16_t)font->cellWidth;

        if (font->textureMode == 1 && !space && !empty) {
            const RECT rect = {0, 0, slot->width, slot->height};
            SetGraphRestoreFile("", &font->workImage, nullptr, &rect, cellX, cellY, font->cacheGraph, 0);
            if (Edged(font)) {
                const RECT edgeRect = {font->cellWidth, 0, font->cellWidth + slot->width, slot->height};
                SetGraphRestoreFile("", &font->workImage, nullptr, &edgeRect, cellX + font->cacheWidth, cellY,
                                    font->cacheGraph, 0);
            }
        }
        font->nextSlot = font->nextSlot + 1 >= font->capacity ? 0 : font->nextSlot + 1;
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    return slot;
}
