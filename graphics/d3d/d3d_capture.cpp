// Screen-to-graph copy on the Direct3D path: five ways of reading the draw target (or, in a window, the desktop)
// into a graph's textures, tried in a fixed order; the one that worked is remembered per alpha kind of the graph,
// and a remembered method that starts failing is dropped for the next that works.
#include "graphics/d3d/d3d_capture.h"

#include <cstring>
#include <utility>

#include "graphics/color/color_convert.h"
#include "graphics/d3d/d3d_device.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/d3d/d3d_surface.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/ddraw/present.h"
#include "graphics/surface_data.h"
#include "runtime/log.h"
#include "runtime/window.h"

namespace {

DrawScreenGraphFunction g_methods[kScreenCopyMethodCount + 1] = {
    G_D3D_GetDrawScreenGraphFunction5, G_D3D_GetDrawScreenGraphFunction1, G_D3D_GetDrawScreenGraphFunction3,
    G_D3D_GetDrawScreenGraphFunction2, G_D3D_GetDrawScreenGraphFunction4, nullptr};

struct CaptureSource {
    int width, height;
    int offsetX, offsetY;
    IDirectDrawSurface7* surface;
};

// In a window, with the front screen as target, a capture without the desktop flag reads what the desktop shows.
bool ReadsDesktop(int desktop) { return desktop == 0 && IsWindowMode() && GetDrawState().target == -4; }

CaptureSource SourceOf(int desktop, bool needsPrimaryOutput) {
    CaptureSource s = {0, 0, 0, 0, GetDrawTargetSurface()};
    const bool primaryOutput = GetOutputPrimarySurface() == GetDisplayState().primarySurface;
    if (ReadsDesktop(desktop) && (!needsPrimaryOutput || primaryOutput)) {
        s.width = GetSystemMetrics(SM_CXSCREEN);
        s.height = GetSystemMetrics(SM_CYSCREEN);
    } else {
        GetGraphDimensionsImpl(GetDrawState().target, &s.width, &s.height);
        s.offsetX = DrawOriginX3D();
        s.offsetY = DrawOriginY3D();
    }
    return s;
}

bool ValidRequest(int x1, int y1, int x2, int y2, const GraphRecord* graph, const CaptureSource& s) {
    return graph != nullptr && 0 <= x1 && x1 < x2 && 0 <= y1 && y1 < y2 && x1 <= s.width && y1 <= s.height &&
           x2 - x1 <= graph->width && y2 - y1 <= graph->height;
}

// One piece's share of a capture.
struct PieceCopy {
    const Surface3D* piece;
    SurfaceData* data;
    int width, height;  // copied size
    RECT source;        // in the source surface
    int destX, destY;   // in the surface data
};

// Runs `copy` for every piece that takes part; an invalid piece fails the method when `invalidFails`, else it is
// skipped. The colour key is set again after each piece.
template <typename Copy>
int ForEachPieceCopy(int x1, int y1, GraphRecord* graph, const CaptureSource& s, bool invalidFails, Copy copy) {
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface3D* p = GetSurface3D(graph->pieces[i]);
        SurfaceData* data = p != nullptr ? SurfaceDataToRecord(p->surfaceData) : nullptr;
        if (data == nullptr || data->surface == nullptr) {
            if (invalidFails) return -1;
            continue;
        }
        if (x1 + p->graphX > s.width || y1 + p->graphY > s.height) continue;
        const int w = p->width < s.width - x1 - p->graphX ? p->width : s.width - x1 - p->graphX;
        const int h = p->height < s.height - y1 - p->graphY ? p->height : s.height - y1 - p->graphY;
        if (w <= 0 || h <= 0) continue;
        PieceCopy c;
        c.piece = p;
        c.data = data;
        c.width = w;
        c.height = h;
        c.source.left = x1 + p->graphX + s.offsetX;
        c.source.top = y1 + p->graphY + s.offsetY;
        c.source.right = c.source.left + w;
        c.source.bottom = c.source.top + h;
        c.destX = p->dataX;
        c.destY = p->dataY;
        const int result = copy(c);
        SetSurfaceDataColorKey(p->surfaceData);
        if (result != 0) return result;
    }
    return 0;
}

IDirectDrawSurface7* CreateWorkTexture(const SurfaceData* data, HRESULT* result) {
    const TextureFormatRow* row = GetTextureFormatRow(data->formatIndex);
    *result = DDERR_GENERIC;
    if (row == nullptr) return nullptr;
    return CreateSystemTexture(data, row->pixelFormat, result);
}

// Methods 3 and 4 share their first steps: a work texture of the piece's surface data receives the piece's part of
// the source through GDI at the piece's position. `name` is the method's name in the log lines.
IDirectDrawSurface7* FillWorkTexture(const PieceCopy& c, HDC sourceDc, const char* name) {
    HRESULT hr = 0;
    IDirectDrawSurface7* work = CreateWorkTexture(c.data, &hr);
    if (work == nullptr) {
        WriteLogFormat("Error  %s 　作業用テクスチャサーフェスの作成に失敗しました  CreateSurface  ReturnValue:%d", name,
                       static_cast<int>(hr));
        return nullptr;
    }
    HDC workDc = nullptr;
    hr = work->GetDC(&workDc);
    if (FAILED(hr)) {
        WriteLogFormat("Error  %s 　作業用テクスチャサーフェスのＤＣ取得に失敗しました  GetDC  ReturnValue:%d", name,
                       static_cast<int>(hr));
        work->Release();
        return nullptr;
    }
    if (!BitBlt(workDc, c.destX, c.destY, c.width, c.height, sourceDc, c.source.left, c.source.top, SRCCOPY)) {
        WriteLogFormat("Error  %s 　作業用テクスチャサーフェスへのイメージ転送に失敗しました  BitBlt  ErrorCode:%x", name,
                       static_cast<unsigned int>(GetLastError()));
        work->ReleaseDC(workDc);
        work->Release();
        return nullptr;
    }
    GdiFlush();
    hr = work->ReleaseDC(workDc);
    if (FAILED(hr)) {
        WriteLogFormat("Error  %s 　作業用テクスチャサーフェスのＤＣ解放に失敗しました  ReleaseDC  ReturnValue:%d", name,
                       static_cast<int>(hr));
        work->Release();
        return nullptr;
    }
    return work;
}

HDC SourceDc(IDirectDrawSurface7* surface, HRESULT* result) {
    HDC dc = nullptr;
    *result = surface != nullptr ? surface->GetDC(&dc) : DDERR_INVALIDPARAMS;
    return SUCCEEDED(*result) ? dc : nullptr;
}

// The source's DC, with the failure logged under the capture's name.
HDC SourceDcLogged(IDirectDrawSurface7* surface, const char* name) {
    HRESULT hr = 0;
    HDC dc = SourceDc(surface, &hr);
    if (dc == nullptr) {
        WriteLogFormat("Error  %s 　ＤＣ取得に失敗しました  GetDC  ReturnValue:%d", name, static_cast<int>(hr));
    }
    return dc;
}

DDSURFACEDESC2 EmptyDesc() {
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    return desc;
}

}  // namespace

DrawScreenGraphFunction* DrawScreenGraphFunctionTable() { return g_methods; }

int CopyScreenToGraph3D(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop) {
    Direct3DState& s = GetDirect3DState();
    if (s.object == nullptr) return -1;
    if (s.targetNotDrawable) return 0;
    const Surface3D* first = (graph != nullptr && graph->pieceCount > 0) ? GetSurface3D(graph->pieces[0]) : nullptr;
    const SurfaceData* data = first != nullptr ? SurfaceDataToRecord(first->surfaceData) : nullptr;
    if (data == nullptr) return -1;
    FlushVertexBatch3D();
    EndCurrentScene3D();
    int& remembered = s.screenCopyMethod[(data->creation[kCreateAlpha] || data->creation[kCreateAlphaTest]) ? 1 : 0];
    if (remembered >= 0 && remembered < kScreenCopyMethodCount && g_methods[remembered] != nullptr) {
        const int result = g_methods[remembered](x1, y1, x2, y2, graph, desktop);
        if (result >= 0) return result;
    }
    int result = -1;
    for (int i = 0; i < kScreenCopyMethodCount && g_methods[i] != nullptr; ++i) {
        result = g_methods[i](x1, y1, x2, y2, graph, desktop);
        if (result == 0) {
            remembered = i;
            return 0;
        }
    }
    remembered = -1;
    return result;
}

int G_D3D_GetDrawScreenGraphFunction1(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop) {
    const CaptureSource source = SourceOf(desktop, true);
    if (!ValidRequest(x1, y1, x2, y2, graph, source) || source.surface == nullptr) return -1;
    return ForEachPieceCopy(x1, y1, graph, source, true, [&](PieceCopy& c) {
        const HRESULT hr = c.data->surface->BltFast(c.destX, c.destY, source.surface, &c.source, 0);
        if (FAILED(hr)) {
            WriteLogFormat("Error G_D3D_GetDrawScreenGraphFunction1  BltFast ReturnValue:%d", static_cast<int>(hr));
            return -1;
        }
        return 0;
    });
}

int G_D3D_GetDrawScreenGraphFunction2(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop) {
    const CaptureSource source = SourceOf(desktop, false);
    if (!ValidRequest(x1, y1, x2, y2, graph, source)) return -1;
    HRESULT hr = 0;
    HDC sourceDc = SourceDc(source.surface, &hr);
    if (sourceDc == nullptr) {
        WriteLogFormat("Error  G_D3D_GetDrawScreenGraphFunction2  ＤＣ取得に失敗しました  GetDC ReturnValue:%d",
                       static_cast<int>(hr));
        return -1;
    }
    const int result = ForEachPieceCopy(x1, y1, graph, source, true, [&](PieceCopy& c) {
        HDC dc = nullptr;
        HRESULT r = c.data->surface->GetDC(&dc);
        if (FAILED(r)) {
            WriteLogFormat("Error  G_D3D_GetDrawScreenGraphFunction2 　作業用テクスチャサーフェスのＤＣ取得に失敗しました  "
                           "GetDC ReturnValue:%d",
                           static_cast<int>(r));
            return -1;
        }
        if (!BitBlt(dc, c.destX, c.destY, c.width, c.height, sourceDc, c.source.left, c.source.top, SRCCOPY)) {
            WriteLogFormat("Error  G_D3D_GetDrawScreenGraphFunction2 　作業用テクスチャサーフェスへのイメージ転送に失敗しました"
                           "  BitBlt  ErrorCode:%x",
                           static_cast<unsigned int>(GetLastError()));
            c.data->surface->ReleaseDC(dc);
            return -1;
        }
        GdiFlush();
        r = c.data->surface->ReleaseDC(dc);
        if (FAILED(r)) {
            WriteLogFormat("Error  G_D3D_GetDrawScreenGraphFunction2 　作業用テクスチャサーフェスのＤＣ解放に失敗しました  "
                           "ReleaseDC ReturnValue:%d",
                           static_cast<int>(r));
            return -1;
        }
        return 0;
    });
    source.surface->ReleaseDC(sourceDc);
    return result;
}

int G_D3D_GetDrawScreenGraphFunction3(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop) {
    const char* name = "G_D3D_GetDrawScreenGraphFunction3";
    const CaptureSource source = SourceOf(desktop, false);
    if (!ValidRequest(x1, y1, x2, y2, graph, source)) return -1;
    HDC sourceDc = SourceDcLogged(source.surface, name);
    if (sourceDc == nullptr) return -1;
    const int result = ForEachPieceCopy(x1, y1, graph, source, false, [&](PieceCopy& c) {
        IDirectDrawSurface7* work = FillWorkTexture(c, sourceDc, name);
        if (work == nullptr) return -1;
        DDSURFACEDESC2 dst = EmptyDesc(), src = EmptyDesc();
        HRESULT r = c.data->surface->Lock(nullptr, &dst, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr);
        if (FAILED(r)) {
            WriteLogFormat("Error  %s 　転送先テクスチャサーフェスのロックに失敗しました  Lock  ReturnValue:%d", name,
                           static_cast<int>(r));
            work->Release();
            return -1;
        }
        r = work->Lock(nullptr, &src, DDLOCK_WAIT | DDLOCK_READONLY, nullptr);
        if (FAILED(r)) {
            WriteLogFormat("Error  %s 　作業用テクスチャサーフェスのロックに失敗しました  Lock  ReturnValue:%d", name,
                           static_cast<int>(r));
            c.data->surface->Unlock(nullptr);
            work->Release();
            return -1;
        }
        // GDI leaves the alpha bits undefined: key-coloured pixels become transparent, the others opaque. Only the
        // copied rectangle is converted; the rest of the texture (other pieces sharing it) keeps its pixels.
        const ColorFormat* format = GetTextureColorData(c.data->formatIndex);
        const RECT rect = {c.destX, c.destY, c.destX + c.width, c.destY + c.height};
        ColorFormatConvertBlt(dst.lpSurface, static_cast<int>(dst.lPitch), format, src.lpSurface,
                              static_cast<int>(src.lPitch), format, nullptr, 0, nullptr, c.destX, c.destY, &rect, 0,
                              format->alphaMask != 0 ? 1 : 0, c.data->transparentColor, kDitherNone, 0, 0, 0);
        work->Unlock(nullptr);
        c.data->surface->Unlock(nullptr);
        work->Release();
        return 0;
    });
    source.surface->ReleaseDC(sourceDc);
    return result;
}

int G_D3D_GetDrawScreenGraphFunction4(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop) {
    const char* name = "G_D3D_GetDrawScreenGraphFunction4";
    const CaptureSource source = SourceOf(desktop, false);
    if (!ValidRequest(x1, y1, x2, y2, graph, source)) return -1;
    IDirect3DDevice7* device = GetCurrentDevice3D();
    if (device == nullptr) return -1;
    HDC sourceDc = SourceDcLogged(source.surface, name);
    if (sourceDc == nullptr) return -1;
    const int result = ForEachPieceCopy(x1, y1, graph, source, false, [&](PieceCopy& c) {
        IDirectDrawSurface7* work = FillWorkTexture(c, sourceDc, name);
        if (work == nullptr) return -1;
        // Only the copied rectangle is loaded; the rest of the texture keeps its pixels.
        POINT point = {c.destX, c.destY};
        RECT rect = {c.destX, c.destY, c.destX + c.width, c.destY + c.height};
        HRESULT r = DD_OK;
        for (int tries = 1;; ++tries) {
            r = device->Load(c.data->surface, &point, work, &rect, 0);
            if (r != DDERR_SURFACEBUSY || tries >= 10) break;
            c.data->surface->Restore();
            Sleep(1);
        }
        work->Release();
        if (FAILED(r)) {
            int screenWidth = 0, screenHeight = 0;
            GetScreenSize(&screenWidth, &screenHeight);
            WriteLogFormat("hr:%d  W:%d  H:%d  FullMode:%d  Point x:%d y:%d   Rect top:%d bottom:%d left:%d right:%d",
                           static_cast<int>(r), screenWidth, screenHeight, IsWindowMode() ? 0 : 1,
                           static_cast<int>(point.x), static_cast<int>(point.y), static_cast<int>(rect.top),
                           static_cast<int>(rect.bottom), static_cast<int>(rect.left), static_cast<int>(rect.right));
            WriteLogFormat("AlphaCh:%d  AlphaTest:%d  ColorBitDepth:%d", c.data->creation[kCreateAlpha],
                           c.data->creation[kCreateAlphaTest], c.data->creation[kCreateColorBits]);
            WriteLogFormat("ScreenColor:%d  SizeX:%d  SizeY:%d  DrawPointX:%d  DrawPointY:%d  WndRect.left:%d  "
                           "WndRect.top:%d  left:%d  top:%d",
                           GetScreenColorBits(), c.width, c.height, c.piece->graphX, c.piece->graphY,
                           source.offsetX, source.offsetY, x1, y1);
            return -1;
        }
        return 0;
    });
    source.surface->ReleaseDC(sourceDc);
    return result;
}

int G_D3D_GetDrawScreenGraphFunction5(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop) {
    if (ReadsDesktop(desktop)) return -1;
    const CaptureSource source = SourceOf(desktop, false);
    IDirectDrawSurface7* work = GetWorkSurface();
    if (!ValidRequest(x1, y1, x2, y2, graph, source) || source.surface == nullptr || work == nullptr) return -1;
    DDSURFACEDESC2 workDesc = EmptyDesc();
    if (FAILED(work->GetSurfaceDesc(&workDesc))) return -1;
    // The copy stays inside the source and the work surface: only that much of each piece can be converted.
    int width = x2 - x1, height = y2 - y1;
    if (width > source.width - x1) width = source.width - x1;
    if (height > source.height - y1) height = source.height - y1;
    if (width > static_cast<int>(workDesc.dwWidth)) width = static_cast<int>(workDesc.dwWidth);
    if (height > static_cast<int>(workDesc.dwHeight)) height = static_cast<int>(workDesc.dwHeight);
    if (width <= 0 || height <= 0) return -1;
    const RECT copy = {source.offsetX + x1, source.offsetY + y1, source.offsetX + x1 + width,
                       source.offsetY + y1 + height};
    if (SurfaceCopy(work, source.surface, 0, 0, &copy, -1) != 0) return -1;
    RECT workRect = {0, 0, width, height};
    DDSURFACEDESC2 src = EmptyDesc();
    HRESULT hr = work->Lock(&workRect, &src, DDLOCK_WAIT | DDLOCK_READONLY, nullptr);
    if (FAILED(hr)) {
        WriteLogFormat("Error  G_D3D_GetDrawScreenGraphFunction5 　作業用テクスチャサーフェスのロックに失敗しました  Lock  "
                       "ReturnValue:%d",
                       static_cast<int>(hr));
        return -1;
    }
    const ColorFormat* screen = GetScreenColorFormat();
    int result = 0;
    for (int i = 0; i < graph->pieceCount && result == 0; ++i) {
        const Surface3D* p = GetSurface3D(graph->pieces[i]);
        SurfaceData* data = p != nullptr ? SurfaceDataToRecord(p->surfaceData) : nullptr;
        if (data == nullptr || data->surface == nullptr) continue;
        const int w = p->width < width - p->graphX ? p->width : width - p->graphX;
        const int h = p->height < height - p->graphY ? p->height : height - p->graphY;
        if (w <= 0 || h <= 0) continue;
        RECT pieceRect = {p->dataX, p->dataY, p->dataX + p->width, p->dataY + p->height};
        DDSURFACEDESC2 dst = EmptyDesc();
        hr = data->surface->Lock(&pieceRect, &dst, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr);
        if (FAILED(hr)) {
            WriteLogFormat("Error  G_D3D_GetDrawScreenGraphFunction5 　転送先テクスチャサーフェスのロックに失敗しました  "
                           "Lock  ReturnValue:%d",
                           static_cast<int>(hr));
            result = -1;
            break;
        }
        const RECT area = {p->graphX, p->graphY, p->graphX + w, p->graphY + h};
        ColorFormatConvertBlt(dst.lpSurface, static_cast<int>(dst.lPitch), GetTextureColorData(data->formatIndex),
                              src.lpSurface, static_cast<int>(src.lPitch), screen, nullptr, 0, nullptr, 0, 0, &area, 0,
                              0, 0, kDitherNone, 0, 0, 0);
        data->surface->Unlock(&pieceRect);
        SetSurfaceDataColorKey(p->surfaceData);
    }
    work->Unlock(&workRect);
    return result;
}

int FillUnusedPixelBits(const RECT* rect, void* pixels, int pitch, const ColorFormat* format, uint32_t value) {
    if (rect == nullptr || pixels == nullptr || format == nullptr || format->noneMask == 0) return 0;
    RECT r = *rect;
    if (r.left > r.right) std::swap(r.left, r.right);
    if (r.top > r.bottom) std::swap(r.top, r.bottom);
    const int width = r.right - r.left, height = r.bottom - r.top;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = static_cast<uint8_t*>(pixels) + static_cast<ptrdiff_t>(r.top + y) * pitch;
        if (format->bytesPerPixel == 2) {
            auto* p = reinterpret_cast<uint16_t*>(row) + r.left;
            const uint16_t bits = static_cast<uint16_t>((value << format->noneShift) & format->noneMask);
            for (int x = 0; x < width; ++x) p[x] |= bits;
        } else if (format->bytesPerPixel == 4) {
            auto* p = reinterpret_cast<uint32_t*>(row) + r.left;
            const uint32_t bits =
                format->noneMask == 0xFF000000u ? (value & 0xFF) << 24 : (value << format->noneShift) & format->noneMask;
            for (int x = 0; x < width; ++x) p[x] |= bits;
        }
    }
    return 0;
}
