// The font table: 40 type-4 handles, each naming one FontData that joins a GDI font, its metrics and its glyph
// cache. Creation with its defaults and fall-backs, deletion, the base font that graphics start-up makes, and the
// re-creation of every font under its own handle after the display device was restored.
#include <string.h>

#include "font/font.h"
#include "font/font_internal.h"
#include "graphics/ddraw/display.h"
#include "graphics/graph.h"
#include "graphics/ddraw/surface2d.h"
#include "runtime/handle.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace {

FontData* g_fontTable[kFontSlots] = {};
int g_fontCheckCounter = 0;
int g_baseFontHandle = 0;
BaseFontSettings g_baseSettings = {};

constexpr int kFontHandleBase = kHandleTypeFont << 27;
// The widest cell made: far past any real text size, yet small enough that the cache (at least 20 cells) and the
// edge patterns stay within what memory and time allow.
constexpr int64_t kMaxCellWidth = 2048;

bool DisplayObjectMissing() { return IsDirectDrawActive() == 1 && GetDisplayObject() == nullptr; }

int CharsetOfIndex(int index) {
    if (index == 0) return DEFAULT_CHARSET;
    if (index == 2) return HANGEUL_CHARSET;
    return SHIFTJIS_CHARSET;
}

HFONT MakeGdiFont(const char* face, int size, int thickness, int italic, int charset) {
    return CreateFontA(size, 0, 0, 0, thickness * 100, italic ? TRUE : FALSE, FALSE, FALSE, (DWORD)charset, 0, 0,
                       NONANTIALIASED_QUALITY, FIXED_PITCH, face);
}

// The failure exit of a creation: whatever was made is released and the slot is free again.
int FailCreation(FontData* font, int slot) {
    font->checkId = 0;
    DeleteFontHandle(slot | kFontHandleBase);
    return -1;
}

}  // namespace

FontData* FontHandleToRecord(int fontHandle) {
    if (fontHandle < 0 || HandleTypeOf(fontHandle) != kHandleTypeFont) return nullptr;
    const int slot = HandleSlotOf(fontHandle);
    if (slot >= kFontSlots) return nullptr;
    FontData* font = g_fontTable[slot];
    if (font == nullptr || font->checkId != HandleCheckIdOf(fontHandle)) return nullptr;
    return font;
}

int IsFontHandleValid(int fontHandle) { return FontHandleToRecord(fontHandle) != nullptr ? 1 : 0; }

int IsLeadByte(const unsigned char* byte, int charSetKind) {
    const unsigned char c = *byte;
    if (charSetKind == 2) return (c & 0x80) ? 1 : 0;
    return ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ? 1 : 0;
}

int CreateFontToHandle(const char* faceName, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int slot, int checkId) {
    if (DisplayObjectMissing()) return -1;
    // Values outside these ranges would index past the table or spill into other bits of the handle.
    if (slot < -1 || slot >= kFontSlots) return -1;
    if (checkId < -1 || checkId >= kHandleCheckIdCount) return -1;
    if (fontType < -1 || fontType > 3) return -1;
    if (edgeSize < -1) return -1;

    if (fontType == -1) fontType = 0;
    if (edgeSize > 1) fontType |= kFontTypeEdgeBit;
    if (size == -1) size = 16;
    if (thickness == -1) thickness = 6;
    if (edgeSize == -1) edgeSize = 1;
    if (charSet == -1) charSet = GetOEMCP() == 949 ? 2 : 1;

    if (slot == -1) {
        for (slot = 0; slot < kFontSlots && g_fontTable[slot] != nullptr; ++slot) {
        }
        if (slot == kFontSlots) {
            WriteLogFormat("作成できるフォントハンドル数 %d の限界を超えました", kFontSlots);
            return -1;
        }
    } else if (g_fontTable[slot] != nullptr) {
        return -1;
    }

    FontData* font = static_cast<FontData*>(TrackedAllocZeroed(sizeof(FontData), "", 0));
    if (font == nullptr) {
        WriteLog("フォント管理用メモリ領域の確保に失敗しました\n");
        return -1;
    }
    font->drawScreen = -1;
    font->cacheGraph = -1;
    font->edgeGraph = -1;
    g_fontTable[slot] = font;

    if (GetDisplayState().screenBits == 8) fontType &= ~kFontTypeAntialiasBit;
    font->thickness = thickness;
    font->fontType = fontType;
    font->size = size;
    font->edgeSize = edgeSize;
    font->italic = italic;
    font->charGap = 0;
    if (checkId == -1) {
        checkId = g_fontCheckCounter;
        g_fontCheckCounter = (g_fontCheckCounter + 1) % kHandleCheckIdCount;
    }
    font->checkId = checkId;
    const int handle = MakeHandle(kHandleTypeFont, checkId, slot);

    font->textureMode = CanUseTextureCache();
    if (faceName != nullptr) {
        strncpy(font->faceName, faceName, kFontFaceBytes - 1);
        font->faceName[kFontFaceBytes - 1] = '\0';
    }

    const int charset = CharsetOfIndex(charSet);
    HFONT gdiFont = nullptr;
    if (faceName != nullptr && faceName[0] != '\0') {
        gdiFont = MakeGdiFont(faceName, size, thickness, italic, charset);
        if (gdiFont == nullptr) gdiFont = MakeGdiFont(faceName, size, thickness, italic, DEFAULT_CHARSET);
        if (gdiFont == nullptr) gdiFont = MakeGdiFont(faceName, size, thickness, italic, SHIFTJIS_CHARSET);
        if (gdiFont == nullptr) {
            WriteLog("指定のフォントの作成に失敗しました\n");
            return FailCreation(font, slot);
        }
    } else {
        gdiFont = MakeGdiFont("ＭＳ ゴシック", size, thickness, italic, charset);
        if (gdiFont == nullptr) gdiFont = MakeGdiFont("ＭＳ ゴシック", size, thickness, 0, DEFAULT_CHARSET);
        if (gdiFont == nullptr) gdiFont = MakeGdiFont(nullptr, size, thickness, 0, DEFAULT_CHARSET);
        if (gdiFont == nullptr) {
            WriteLog("フォントの作成に失敗しました\n");
            return FailCreation(font, slot);
        }
    }

    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        WriteLog("ＤＣの取得に失敗しました\n");
        DeleteObject(gdiFont);
        return FailCreation(font, slot);
    }
    HGDIOBJ previous = SelectObject(dc, gdiFont);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, previous);
    DeleteDC(dc);
    font->fontObject = gdiFont;

    const int64_t edge2 = (fontType & kFontTypeEdgeBit) ? 2 * (int64_t)edgeSize : 0;
    const int64_t cellWidth = ((int64_t)metrics.tmMaxCharWidth + edge2 + 7) / 8 * 8;
    int64_t cellHeight = (int64_t)metrics.tmHeight + edge2;
    if (cellHeight & 1) ++cellHeight;
    if (cellWidth <= 0 || cellWidth > kMaxCellWidth || cellHeight > kMaxCellWidth) {
        // No cache of this cell can be had; it takes the allocation failure of the memory cache.
        WriteLog("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
        return FailCreation(font, slot);
    }
    font->cellWidth = (int)cellWidth;
    font->cellHeight = (int)cellHeight;

    if (SetUpGlyphCache(font, handle) != 0) return FailCreation(font, slot);

    ClearGlyphCache(handle);
    font->charsetIndex = charSet;
    font->deletedFlag = nullptr;
    return handle;
}

int DeleteFontHandle(int fontHandle) {
    FontData* font = FontHandleToRecord(fontHandle);
    if (font == nullptr) return -1;
    if (font->fontObject != nullptr) DeleteObject(font->fontObject);
    font->fontObject = nullptr;
    TrackedFree(font->cachePixels);
    font->cachePixels = nullptr;
    if (font->drawScreen >= 0) {
        DeleteSurface2D(font->drawScreen);
        font->drawScreen = -1;
    }
    if (font->cacheGraph >= 0) {
        ReleaseGraphImpl(font->cacheGraph, 0);
        if (font->edgeGraph >= 0) ReleaseGraphImpl(font->edgeGraph, 0);
        font->cacheGraph = -1;
        font->edgeGraph = -1;
    }
    TrackedFree(font->workImage.pixels);
    font->workImage.pixels = nullptr;
    if (font->deletedFlag != nullptr) *font->deletedFlag = 1;
    g_fontTable[HandleSlotOf(fontHandle)] = nullptr;
    TrackedFree(font);
    return 0;
}

int SetFontCharGapToHandle(int gap, int fontHandle) {
    FontData* font = FontHandleToRecord(fontHandle);
    if (font == nullptr) return -1;
    font->charGap = gap;
    return 0;
}

int SetFontDeletedFlagPtr(int fontHandle, int* flag) {
    FontData* font = FontHandleToRecord(fontHandle);
    if (font == nullptr) return -1;
    font->deletedFlag = flag;
    if (flag != nullptr) *flag = 0;
    return 0;
}

int GetFontInfoToHandle(int fontHandle, char* faceName, int* size, int* thickness) {
    const FontData* font = FontHandleToRecord(fontHandle);
    if (font == nullptr) return -1;
    if (faceName != nullptr) CopyText(faceName, font->faceName);
    if (size != nullptr) *size = font->size;
    if (thickness != nullptr) *thickness = font->thickness;
    return 0;
}

int GetFontHandleHeight(int fontHandle) {
    const FontData* font = FontHandleToRecord(fontHandle);
    return font != nullptr ? font->size : -1;
}

int IsFontCachedAsTexture(int fontHandle) {
    const FontData* font = FontHandleToRecord(fontHandle);
    return font != nullptr ? font->textureMode : 0;
}

int GetBaseFontHandle() { return g_baseFontHandle; }

int GetLiveFontCount() {
    int count = 0;
    for (FontData* font : g_fontTable) count += font != nullptr ? 1 : 0;
    return count;
}

int GetFontCheckCounter() { return g_fontCheckCounter; }

void SetFontCheckCounterForTest(int next) { g_fontCheckCounter = next & (kHandleCheckIdCount - 1); }

BaseFontSettings& GetBaseFontSettings() { return g_baseSettings; }

void SetDefaultBaseFontSettings() {
    g_baseSettings = BaseFontSettings{};
    g_baseSettings.size = 16;
    g_baseSettings.thickness = 6;
    g_baseSettings.fontType = 0;
    g_baseSettings.charsetIndex = 1;
    g_baseSettings.edgeSize = 1;
    g_baseSettings.italic = 0;
    g_baseSettings.charGap = 0;
}

int ResetFonts() {
    if (DisplayObjectMissing()) return -1;
    WriteLog("フォントの初期化を行います\n");
    LogIndentIn();
    const FontData* base = FontHandleToRecord(g_baseFontHandle);
    BaseFontSettings kept = {};
    const bool hadBase = base != nullptr;
    if (hadBase) {
        CopyText(kept.faceName, base->faceName);
        kept.size = base->size;
        kept.thickness = base->thickness;
        kept.fontType = base->fontType;
        kept.charsetIndex = base->charsetIndex;
        kept.edgeSize = base->edgeSize;
        kept.italic = base->italic;
    }
    for (int slot = 0; slot < kFontSlots; ++slot) {
        if (g_fontTable[slot] != nullptr) DeleteFontHandle(MakeHandle(kHandleTypeFont, g_fontTable[slot]->checkId, slot));
    }
    if (hadBase) {
        g_baseFontHandle = CreateFontToHandle(kept.faceName, kept.size, kept.thickness, kept.fontType,
                                              kept.charsetIndex, kept.edgeSize, kept.italic, -1, -1);
    } else {
        g_baseFontHandle = CreateFontToHandle("", 16, 6, -1, -1, -1, 0, -1, -1);
    }
    LogIndentOut();
    WriteLog("フォントの初期化は正常に終了しました\n");
    return 0;
}

int EndFonts() {
    ResetFonts();
    DeleteFontHandle(g_baseFontHandle);
    return 0;
}

int RecreateAllFonts() {
    for (int slot = 0; slot < kFontSlots; ++slot) {
        const FontData* font = g_fontTable[slot];
        if (font == nullptr) continue;
        char face[kFontFaceBytes];
        CopyText(face, font->faceName);
        const int size = font->size, thickness = font->thickness, type = font->fontType;
        const int charset = font->charsetIndex, edge = font->edgeSize, italic = font->italic;
        const int gap = font->charGap, checkId = font->checkId;
        const int handle = MakeHandle(kHandleTypeFont, checkId, slot);
        DeleteFontHandle(handle);
        CreateFontToHandle(face, size, thickness, type, charset, edge, italic, slot, checkId);
        SetFontCharGapToHandle(gap, handle);
    }
    return 0;
}

int SetBaseFontSize(const char*, int size, int thickness) {
    if (IsDirectDrawActive() != 0 && GetDisplayObject() == nullptr) return -1;
    g_baseSettings.size = size == -1 ? 16 : size;
    g_baseSettings.thickness = thickness == -1 ? 6 : thickness;
    RefreshBaseFont();
    return 0;
}

int RefreshBaseFont() {
    const FontData* base = FontHandleToRecord(g_baseFontHandle);
    const BaseFontSettings& s = g_baseSettings;
    if (base != nullptr && TextsDiffer(base->faceName, s.faceName) == 0 && base->fontType == s.fontType &&
        base->size == s.size && base->thickness == s.thickness && base->charsetIndex == s.charsetIndex &&
        base->edgeSize == s.edgeSize && base->italic == s.italic) {
        return 0;
    }
    DeleteFontHandle(g_baseFontHandle);
    g_baseFontHandle = CreateFontToHandle(s.faceName, s.size, s.thickness, s.fontType, s.charsetIndex,
                                          (s.fontType & kFontTypeEdgeBit) ? s.edgeSize : -1, s.italic, -1, -1);
    SetFontCharGapToHandle(s.charGap, g_baseFontHandle);
    return 0;
}
