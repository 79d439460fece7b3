// Measuring and drawing a string through a font's glyph cache: the pen walk shared by both, the texture path that
// draws each cached glyph as a part of the cache graph (so blend mode and draw area apply to text too), and the
// hand-off of each glyph to the memory path's pixel loops.
#include <string.h>

#include "font/font.h"
#include "font/font_internal.h"
#include "graphics/ddraw/blit2d.h"
#include "graphics/color/color_format.h"
#include "graphics/derive.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "runtime/log.h"
#include "runtime/text.h"

namespace {

// Strings are taken 256 characters at a time, so any length is measured and drawn whole.
FontCharEntry g_stringCodeList[kFontPendingMax];

struct DerivedColour {
    uint32_t pixel;  // in the screen format, with the bits the format always sets cleared
    uint32_t scale;  // 0xFF000000 | r << 16 | g << 8 | b for the texture path
};

DerivedColour DeriveColour(int colour, unsigned int colourScale) {
    int r = 0, g = 0, b = 0;
    ScreenPixelToRgb((uint32_t)colour, &r, &g, &b);
    r = r * (int)((colourScale >> 16) & 0xFF) / 255;
    g = g * (int)((colourScale >> 8) & 0xFF) / 255;
    b = b * (int)(colourScale & 0xFF) / 255;
    const uint32_t alwaysSet = RgbToScreenPixelImpl(0, 0, 0);
    return DerivedColour{RgbToScreenPixelImpl(r, g, b) & ~alwaysSet,
                         0xFF000000u | (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b};
}

inline int Trunc(double value) { return DoubleToInt(value); }

const FontGlyphSlot* GlyphOf(FontData* font, int fontHandle, const FontCharEntry& entry) {
    const FontCodeMapEntry& map = font->codeMap[FontCharCode(entry)];
    if (map.cached) return map.slot;
    const FontGlyphSlot* slot = RenderGlyphsToCache(1, &entry, fontHandle);
    if (slot == nullptr) FatalError("テキストキャッシュの作成に失敗しました");
    return slot;
}

struct TexturePass {
    int graph;
    int graphWidth;  // the width the whole-graph vertical draw places
    uint32_t scale;
};

void DrawTextureGlyph(const FontData* font, const FontGlyphSlot* glyph, int x, int y, double pen, int scaled,
                      double xScale, double yScale, int vertical, const DerivedColour& body,
                      const DerivedColour& edge) {
    DrawState& state = GetDrawState();
    const int savedBlendGraph = state.blendGraph;
    const int savedBorder = state.blendGraphBorder;
    const int savedRange = state.blendGraphRange;
    SetBlendGraph(-1, 0, 0);
    const unsigned int savedScale = state.colorScale;

    const int sx = font->cellWidth * (glyph->cellIndex / font->glyphsPerColumn);
    const int sy = font->cellWidth * (glyph->cellIndex % font->glyphsPerColumn);
    const int w = glyph->width, h = glyph->height;
    const int ox = glyph->offsetX, oy = glyph->offsetY;
    const GraphRecord* cache = GetGraphRecord(font->cacheGraph);
    const int cacheW = cache != nullptr ? cache->width : 0;
    const int cacheH = cache != nullptr ? cache->height : 0;

    TexturePass passes[2];
    int passCount = 0;
    if (font->fontType & kFontTypeEdgeBit) passes[passCount++] = TexturePass{font->edgeGraph, cacheW / 2, edge.scale};
    passes[passCount++] = TexturePass{font->cacheGraph, cacheW, body.scale};

    if (vertical != 1) {
        for (int i = 0; i < passCount; ++i) {
            SetDrawColorScaleRgb(passes[i].scale & 0xFFFFFF);
            if (!scaled) {
                DrawGraphPartImpl(x + Trunc(pen) + ox, y + oy, sx, sy, w, h, passes[i].graph, 1, 0);
            } else {
                const int x1 = x + Trunc(xScale * ox + pen), y1 = y + Trunc(yScale * oy);
                const int x2 = x1 + Trunc(xScale * w), y2 = y1 + Trunc(yScale * h);
                DrawGraphStretchedPart(x1, y1, x2, y2, sx, sy, w, h, passes[i].graph, 1);
            }
        }
    } else {
        const RECT savedArea = state.drawArea;
        RECT box;
        int R = 0, T = 0, L = 0, B = 0;
        if (!scaled) {
            R = x + font->cellHeight - oy;
            T = y + Trunc(pen) + ox;
            box = RECT{R - h - 1, T, R + 1, T + w};
        } else {
            R = x + Trunc(xScale * (font->cellHeight - oy));
            T = y + Trunc(yScale * ox + pen);
            L = R - Trunc(xScale * h);
            B = T + Trunc(yScale * w);
            box = RECT{L - 1, T, R + 1, B};
        }
        // The glyph's box narrows the caller's area, never widens it.
        const RECT area = IntersectRects(box, savedArea);
        SetViewportRectImpl(area.left, area.top, area.right, area.bottom);
        for (int i = 0; i < passCount; ++i) {
            SetDrawColorScaleRgb(passes[i].scale & 0xFFFFFF);
            if (!scaled) {
                const float X0 = (float)(R + sy), Y0 = (float)(T - sx);
                const float Wg = (float)passes[i].graphWidth, Hg = (float)cacheH;
                DrawGraphFourPoints(X0 - 0.5f, Y0 - 0.5f, X0 - 0.5f, Y0 + Wg - 0.5f, X0 - Hg - 0.5f, Y0 + Wg - 0.5f,
                                    X0 - Hg - 0.5f, Y0 - 0.5f, passes[i].graph, 1);
            } else {
                const int part = DeriveSubGraphImpl(sx, sy, w, h, passes[i].graph);
                DrawGraphFourPoints((float)R - 0.5f, (float)T - 0.5f, (float)R - 0.5f, (float)B - 0.5f,
                                    (float)L - 0.5f, (float)B - 0.5f, (float)L - 0.5f, (float)T - 0.5f, part, 1);
                if (part >= 0) ReleaseGraphImpl(part, 0);
            }
        }
        SetViewportRectImpl(savedArea.left, savedArea.top, savedArea.right, savedArea.bottom);
    }

    SetBlendGraph(savedBlendGraph, savedBorder, savedRange);
    SetDrawColorScaleRgb(savedScale & 0xFFFFFF);
}

}  // namespace

int DrawFontString(int mode, int x, int y, int scaleFlag, double xScale, double yScale, const char* text, int colour,
                   MEMIMG* destImage, const int* clipRect, int transFlag, int fontHandle, int edgeColour, int length,
                   int vertical, int* outSize) {
    if (IsDirectDrawActive() == 1 && GetDisplayObject() == nullptr) return -1;
    FontData* font = FontHandleToRecord(fontHandle);
    if (font == nullptr) return -1;

    if (font->textureMode == 0 || (mode != 0 && (scaleFlag & 0xFF) == 0)) {
        scaleFlag = 0;
        xScale = yScale = 1.0;
    }
    const int scaled = (scaleFlag & 0xFF) != 0;
    const double advanceScale = vertical != 0 ? yScale : xScale;

    const unsigned int colourScale = GetDrawState().colorScale;
    const DerivedColour body = DeriveColour(colour, colourScale);
    const DerivedColour edge = DeriveColour(edgeColour, colourScale);

    if (text == nullptr || text[0] == '\0') return 0;
    const int textLength = lstrlenA(text);
    int n = textLength;
    if (length != -1 && length <= textLength) n = length;

    const int screenBits = GetDisplayState().screenBits;
    double pen = 0.0;
    int position = 0;
    while (position < n) {
        int count = 0, used = 0;
        PrepareFontGlyphsBounded(font, fontHandle, text + position, n - position, g_stringCodeList,
                                 kFontPendingMax, &count, &used);
        if (used <= 0) break;
        for (int i = 0; i < count; ++i) {
            const FontCharEntry& entry = g_stringCodeList[i];
            const FontGlyphSlot* glyph = GlyphOf(font, fontHandle, entry);
            if (mode == 1) {
                const bool space = entry.bytes[0] == 0x20 || (entry.bytes[0] == 0x81 && entry.bytes[1] == 0x40);
                if (!space && (glyph->width != 0 || glyph->height != 0)) {
                    if (font->textureMode == 1) {
                        DrawTextureGlyph(font, glyph, x, y, pen, scaled, xScale, yScale, vertical, body, edge);
                    } else if (destImage != nullptr && clipRect != nullptr && destImage->pixels != nullptr) {
                        MemoryGlyphDraw draw = {};
                        draw.font = font;
                        draw.glyph = glyph;
                        draw.destPixels = destImage->pixels;
                        draw.destPitch = destImage->pitch;
                        draw.screenBits = screenBits;
                        draw.vertical = vertical == 1;
                        draw.transFlag = transFlag;
                        draw.bodyPixel = body.pixel;
                        draw.edgePixel = edge.pixel;
                        if (vertical == 1) {
                            draw.box.right = x + font->cellHeight - glyph->offsetY;
                            draw.box.left = draw.box.right - glyph->height;
                            draw.box.top = y + Trunc(pen) + glyph->offsetX;
                            draw.box.bottom = draw.box.top + glyph->width;
                        } else {
                            draw.box.left = x + Trunc(pen) + glyph->offsetX;
                            draw.box.top = y + glyph->offsetY;
                            draw.box.right = draw.box.left + glyph->width;
                            draw.box.bottom = draw.box.top + glyph->height;
                        }
                        draw.clipped = draw.box;
                        const RECT clip = {clipRect[0], clipRect[1], clipRect[2], clipRect[3]};
                        ClipRectImpl(&draw.clipped, &clip);
                        if (draw.clipped.left != draw.clipped.right && draw.clipped.top != draw.clipped.bottom) {
                            DrawGlyphToMemory(draw);
                        }
                    }
                }
            }
            pen += (double)(glyph->advance + font->charGap) * advanceScale;
        }
        position += used;
    }

    if (outSize != nullptr) {
        if (vertical == 1) {
            outSize[0] = font->cellHeight;
            outSize[1] = Trunc(pen);
        } else {
            outSize[0] = Trunc(pen);
            outSize[1] = font->cellHeight;
        }
    }
    return Trunc(pen);
}
