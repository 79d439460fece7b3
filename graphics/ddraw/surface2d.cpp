// The 2D-surface table and the per-graph 2D operations: a graph on the DirectDraw or software path is one 2D surface
// over a surface-data record; derived graphs share the record. Uploads write decoded images into the record's
// software image, into its locked DirectDraw surface in the screen's layout, or on a palette screen through a Windows
// bitmap and the surface's device context.
#include "graphics/ddraw/surface2d.h"

#include <algorithm>
#include <cstring>

#include "graphics/ddraw/blit2d.h"
#include "graphics/color/color_convert.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/color/memimg.h"
#include "graphics/ddraw/present.h"
#include "runtime/handle.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace {

HandleTable<Surface2D> g_surfaces(kHandleTypeSurface2D, kSurface2DSlots);

bool HaveDisplay() { return IsMemImgDrawMode() || GetDisplayObject() != nullptr; }

// Index of the first palette entry equal to the colour (0x00RRGGBB), 0 when none is.
uint32_t PaletteIndexOf(const GraphImage* image, unsigned int colour) {
    for (int i = 0; i < 256; ++i) {
        const ColorPaletteEntry& e = image->format.palette[i];
        const unsigned int value = (unsigned)e.red << 16 | (unsigned)e.green << 8 | e.blue;
        if (value == (colour & 0xFFFFFF)) return static_cast<uint32_t>(i);
    }
    return 0;
}

// Palette screens: the rectangle of the image becomes a Windows bitmap, copied onto the surface at (x, y) through
// device contexts. 0 or -1 (logged).
int CopyImageThroughBitmap(IDirectDrawSurface7* surface, const GraphImage* image, const RECT& source, int x, int y) {
    // Only the rectangle becomes a bitmap: the image seen from the rectangle's corner, its rows as they lie.
    GraphImage part = *image;
    part.width = source.right - source.left;
    part.height = source.bottom - source.top;
    part.pixels = static_cast<uint8_t*>(image->pixels) + static_cast<ptrdiff_t>(source.top) * image->pitch +
                  static_cast<ptrdiff_t>(source.left) * image->format.bytesPerPixel;
    BITMAPINFO* info = nullptr;
    void* bits = nullptr;
    if (GraphImageTo24Bit(&part, &info, &bits) != 0) {
        return WriteLog("GraphImage を BMP に変換する処理が失敗しました\n");
    }
    HBITMAP bitmap = CreateDIBFromBitmapInfo(info, bits, 0, nullptr);
    KV_FREE(info);
    if (bitmap == nullptr) return WriteLog("ＢＭＰデータからＢＭＰハンドルを作成する処理が失敗しました\n");
    // GDI matches each colour to the surface's palette on the way in.
    int result = -1;
    HDC surfaceDc = nullptr;
    if (SUCCEEDED(surface->GetDC(&surfaceDc))) {
        HDC bitmapDc = CreateCompatibleDC(surfaceDc);
        if (bitmapDc != nullptr) {
            HGDIOBJ previous = SelectObject(bitmapDc, bitmap);
            if (BitBlt(surfaceDc, x, y, part.width, part.height, bitmapDc, 0, 0, SRCCOPY)) result = 0;
            SelectObject(bitmapDc, previous);
            DeleteDC(bitmapDc);
        }
        surface->ReleaseDC(surfaceDc);
    }
    DeleteObject(bitmap);
    // GetDC locks the surface; a refusal there (or of the copy) is the lock failure of the other depths.
    return result == 0 ? 0 : WriteLog("２Ｄサーフェスのロックに失敗しました\n");
}

}  // namespace

// ---- The 2D-surface table ----
Surface2D* Surface2DToRecord(int handle) { return g_surfaces.get(handle); }

int AddSurface2D(const Surface2D* shareFrom, int width, int height, int value1, int value2, uint32_t attribute, int x,
                 int y, const unsigned char creation[kCreationByteCount]) {
    if (!HaveDisplay()) return WriteLog("ＱＶライブラリが初期化されていません\n");
    if (g_surfaces.isFull()) return WriteLog("２Ｄグラフィックの量が許容量を越えました\n");
    if (width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF || x < 0 || y < 0 || x > 0x7FFF ||
        y > 0x7FFF) {
        return WriteLog("メモリの確保に失敗しました in AddSurface2D \n");
    }
    const int handle = g_surfaces.add();
    if (handle < 0) return WriteLog("メモリの確保に失敗しました in AddSurface2D \n");
    Surface2D* s = g_surfaces.get(handle);
    s->value1 = static_cast<int16_t>(value1);
    s->value2 = static_cast<int16_t>(value2);
    s->x = static_cast<int16_t>(x);
    s->y = static_cast<int16_t>(y);
    s->width = static_cast<int16_t>(width);
    s->height = static_cast<int16_t>(height);
    s->attribute = attribute;
    if (shareFrom != nullptr) {
        if (AddSurfaceDataRef(shareFrom->surfaceData) < 0) {
            g_surfaces.remove(handle);
            return WriteLog("メモリの確保に失敗しました in AddSurface2D \n");
        }
        s->surfaceData = shareFrom->surfaceData;
    } else {
        s->surfaceData = CreateSurfaceData(1, width, height, GetDrawState().transparentColor, creation);
        if (s->surfaceData < 0) {
            g_surfaces.remove(handle);
            return WriteLog("メモリの確保に失敗しました in AddSurface2D \n");
        }
    }
    return handle;
}

int DeleteSurface2D(int handle) {
    Surface2D* s = g_surfaces.get(handle);
    if (s == nullptr) return 0;
    if (ReleaseSurfaceDataRef(s->surfaceData) == 0) DeleteSurfaceData(s->surfaceData);
    if (s->deletedFlag != nullptr) *s->deletedFlag = 1;
    g_surfaces.remove(handle);
    return 0;
}

int DeleteAllSurface2D() {
    if (!HaveDisplay() && g_surfaces.liveCount() == 0) {
        g_surfaces.clear();
        return -1;
    }
    g_surfaces.forEach([](int handle, Surface2D*) { DeleteSurface2D(handle); });
    g_surfaces.clear();
    return 0;
}

int SetSurface2DDeletedFlagPtr(int handle, int* flag) {
    Surface2D* s = g_surfaces.get(handle);
    if (s == nullptr) return -1;
    s->deletedFlag = flag;
    if (flag != nullptr) *flag = 0;
    return 0;
}

int ReleaseAllSurface2DSurfaces() {
    if (!HaveDisplay()) return 0;
    g_surfaces.forEach([](int, Surface2D* s) {
        SurfaceData* d = SurfaceDataToRecord(s->surfaceData);
        if (d != nullptr && !d->software) ReleaseSurfaceDataSurface(s->surfaceData);
    });
    return 0;
}

int RestoreAllSurface2DSurfaces() {
    if (!HaveDisplay()) return 0;
    g_surfaces.forEach([](int, Surface2D* s) {
        if (CreateSurfaceDataSurface(s->surfaceData) == 0) SetSurfaceDataColorKey(s->surfaceData);
    });
    return 0;
}

int TransferToSurface2D(const GraphImage* image, const GraphImage* alphaImage, int srcX, int srcY, int width,
                        int height, int dstX, int dstY, int handle) {
    if (!HaveDisplay()) return -1;
    Surface2D* s = g_surfaces.get(handle);
    if (s == nullptr || image == nullptr || image->pixels == nullptr) return -1;
    SurfaceData* d = SurfaceDataToRecord(s->surfaceData);
    if (d == nullptr) return -1;
    if (alphaImage != nullptr &&
        (alphaImage->pixels == nullptr || alphaImage->width != image->width || alphaImage->height != image->height)) {
        alphaImage = nullptr;
    }

    // Clip the source rectangle to the image and the destination to the surface's own rectangle, together.
    RECT src = IntersectRects({srcX, srcY, srcX + width, srcY + height}, {0, 0, image->width, image->height});
    dstX += src.left - srcX;
    dstY += src.top - srcY;
    const RECT dst = IntersectRects({dstX, dstY, dstX + (src.right - src.left), dstY + (src.bottom - src.top)},
                               {0, 0, s->width, s->height});
    src.left += dst.left - dstX;
    src.top += dst.top - dstY;
    src.right = src.left + (dst.right - dst.left);
    src.bottom = src.top + (dst.bottom - dst.top);
    if (IsEmptyRect(dst)) return 0;
    const int outX = s->x + dst.left, outY = s->y + dst.top;

    if (GetDisplayState().screenBits == 8 && !d->software) {
        if (d->surface == nullptr) return -1;
        EndCurrentScene3D();
        return CopyImageThroughBitmap(d->surface, image, src, outX, outY);
    }
    if (d->software) {
        const int r = TransferImageToMemImg(image, alphaImage, &d->image, src.left, src.top, src.right - src.left,
                                            src.bottom - src.top, outX, outY, GetGraphCreateFlag());
        if (r < 0) return -1;
        if (d->image.hasPalette) d->image.colorKey = PaletteIndexOf(image, d->transparentColor);
        return 0;
    }
    if (d->surface == nullptr) return -1;
    EndCurrentScene3D();
    const RECT lockRect = {outX, outY, outX + (dst.right - dst.left), outY + (dst.bottom - dst.top)};
    RECT lr = lockRect;
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (FAILED(d->surface->Lock(&lr, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr))) {
        return WriteLog("２Ｄサーフェスのロックに失敗しました\n");
    }
    const int converted = ColorFormatConvertBlt(
        desc.lpSurface, desc.lPitch, GetScreenColorFormat(), image->pixels, image->pitch, &image->format,
        alphaImage != nullptr ? alphaImage->pixels : nullptr, alphaImage != nullptr ? alphaImage->pitch : 0,
        alphaImage != nullptr ? &alphaImage->format : nullptr, 0, 0, &src, 0, 0, 0, kDitherNone, 0, 0, 0);
    d->surface->Unlock(&lr);
    return converted < 0 ? -1 : 0;
}

void GetSurface2DTableState(int* live, int* endMark, int* nextCheckId) {
    if (live) *live = g_surfaces.liveCount();
    if (endMark) *endMark = g_surfaces.highWater();
    if (nextCheckId) *nextCheckId = g_surfaces.nextCheckId();
}

// ---- Per-graph operations ----
int ClearSurfaceTable2D() { return DeleteAllSurface2D(); }

int CreateGraphSurface2D(GraphRecord* graph) {
    if (!HaveDisplay() || graph == nullptr) return -1;
    const int handle = AddSurface2D(nullptr, graph->width, graph->height, 0, 0, 0, 0, 0, graph->creation);
    if (handle < 0) return -1;
    graph->pieces[0] = handle;
    graph->pieceCount = 1;
    return 0;
}

int DeriveGraphSurface2D(GraphRecord* graph, int x, int y, int width, int height, const GraphRecord* parent) {
    if (!HaveDisplay() || graph == nullptr || parent == nullptr || parent->pieceCount < 1) return -1;
    const Surface2D* source = g_surfaces.get(parent->pieces[0]);
    if (source == nullptr) return -1;
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || x + width > source->width || y + height > source->height) {
        return -1;
    }
    const int handle =
        AddSurface2D(source, width, height, 0, 0, source->attribute, source->x + x, source->y + y, graph->creation);
    if (handle < 0) return -1;
    graph->pieces[0] = handle;
    graph->pieceCount = 1;
    return 0;
}

int DeleteGraphSurfaces2D(GraphRecord* graph) {
    if (graph == nullptr) return -1;
    int result = 0;
    for (int i = 0; i < graph->pieceCount; ++i) result |= DeleteSurface2D(graph->pieces[i]);
    graph->pieceCount = 0;
    return result;
}

int BltImageToGraph2D(const GraphImage* image, const GraphImage* alphaImage, int x, int y, GraphRecord* graph) {
    if (!HaveDisplay() || graph == nullptr) return -1;
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface2D* s = g_surfaces.get(graph->pieces[i]);
        if (s == nullptr) return -1;
        // A graph's one piece covers it from its top-left corner.
        if (TransferToSurface2D(image, alphaImage, x, y, s->width, s->height, 0, 0, graph->pieces[i]) != 0) return -1;
    }
    return 0;
}

int BltImageRectToGraph2D(const GraphImage* image, const GraphImage* alphaImage, const RECT* sourceRect, int x, int y,
                          GraphRecord* graph) {
    if (!HaveDisplay() || graph == nullptr || sourceRect == nullptr) return -1;
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface2D* s = g_surfaces.get(graph->pieces[i]);
        if (s == nullptr) return -1;
        const RECT placed = {x, y, x + (sourceRect->right - sourceRect->left), y + (sourceRect->bottom - sourceRect->top)};
        const RECT overlap = IntersectRects(placed, {0, 0, s->width, s->height});
        if (IsEmptyRect(overlap)) continue;
        if (TransferToSurface2D(image, alphaImage, sourceRect->left + (overlap.left - x),
                                sourceRect->top + (overlap.top - y), overlap.right - overlap.left,
                                overlap.bottom - overlap.top, overlap.left, overlap.top, graph->pieces[i]) != 0) {
            return -1;
        }
    }
    return 0;
}

int RestoreLostSurfaces2D(GraphRecord* graph) {
    if (!HaveDisplay() || graph == nullptr) return -1;
    int lost = 0;
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface2D* s = g_surfaces.get(graph->pieces[i]);
        if (s != nullptr && CheckSurfaceDataLost(s->surfaceData) != 0) lost = 1;
    }
    return lost;
}

int RestoreAllLostSurfaces2D() {
    if (!HaveDisplay()) return -1;
    g_surfaces.forEach([](int, Surface2D* s) { CheckSurfaceDataLost(s->surfaceData); });
    return 0;
}

int DrawGraphPiece2D(float x, float y, const GraphRecord* graph, int transparent, int intCoordinates) {
    if (!HaveDisplay() || graph == nullptr || graph->pieceCount < 1) return -1;
    FlushVertexBatch3D();
    const int ix = intCoordinates == 1 ? static_cast<int>(x) : FloatToInt(x + (x < 0 ? -0.5f : 0.5f));
    const int iy = intCoordinates == 1 ? static_cast<int>(y) : FloatToInt(y + (y < 0 ? -0.5f : 0.5f));
    return DrawSurface2D(ix, iy, graph->pieces[0], transparent);
}

int CopyScreenToGraph2D(int x1, int y1, int x2, int y2, GraphRecord* graph) {
    if (!HaveDisplay() || graph == nullptr || graph->pieceCount < 1) return -1;
    if (x1 >= x2 || y1 >= y2 || x2 - x1 != graph->width || y2 - y1 != graph->height) return -1;
    const DrawState& state = GetDrawState();
    int targetWidth = 0, targetHeight = 0;
    if (GetGraphDimensionsImpl(state.target, &targetWidth, &targetHeight) != 0) return -1;
    if (x1 < 0 || y1 < 0 || x2 > targetWidth || y2 > targetHeight) return -1;
    const Surface2D* piece = g_surfaces.get(graph->pieces[0]);
    SurfaceData* d = piece != nullptr ? SurfaceDataToRecord(piece->surfaceData) : nullptr;
    if (d == nullptr) return -1;

    // Where the target's pixels are: a software image or a surface (with the piece offset of a graph target).
    const DisplayState& display = GetDisplayState();
    MEMIMG* sourceImage = nullptr;
    IDirectDrawSurface7* sourceSurface = nullptr;
    int offsetX = 0, offsetY = 0;
    if (state.target == -2 || state.target == -4) {
        if (display.useMemImgScreens) {
            sourceImage = state.target == -2 ? const_cast<MEMIMG*>(&display.backImage)
                                             : const_cast<MEMIMG*>(&display.primaryImage);
        } else {
            sourceSurface = state.target == -2 ? display.backSurface : GetOutputPrimarySurface();
            if (state.target == -4 && !display.useTempPrimary) {
                offsetX = state.windowDrawRect.left;
                offsetY = state.windowDrawRect.top;
            }
        }
    } else {
        const GraphRecord* targetGraph = GetGraphRecord(state.target);
        if (targetGraph == nullptr || targetGraph->creation[kCreateTexture] == 1 || targetGraph->pieceCount < 1) {
            return -1;
        }
        const Surface2D* targetPiece = g_surfaces.get(targetGraph->pieces[0]);
        SurfaceData* td = targetPiece != nullptr ? SurfaceDataToRecord(targetPiece->surfaceData) : nullptr;
        if (td == nullptr) return -1;
        offsetX = targetPiece->x;
        offsetY = targetPiece->y;
        if (td->software) {
            sourceImage = &td->image;
        } else {
            sourceSurface = td->surface;
        }
    }
    const RECT rect = {x1 + offsetX, y1 + offsetY, x2 + offsetX, y2 + offsetY};
    if (sourceImage != nullptr && d->software) {
        return BltMemImage(&d->image, sourceImage, &rect, piece->x, piece->y) < 0 ? -1 : 0;
    }
    if (sourceSurface != nullptr && !d->software && d->surface != nullptr) {
        EndCurrentScene3D();
        return SurfaceCopy(d->surface, sourceSurface, piece->x, piece->y, &rect, -1);
    }
    return -1;
}

int FillGraphSurfaces2D(GraphRecord* graph, int red, int green, int blue, int alpha) {
    if (!HaveDisplay() || graph == nullptr) return -1;
    int result = 0;
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface2D* s = g_surfaces.get(graph->pieces[i]);
        if (s == nullptr || FillSurfaceData(s->surfaceData, red, green, blue, alpha) != 0) result = -1;
    }
    return result;
}
