// 3D surfaces and the graphs made of them: the power-of-two split of a graph into texture pieces, creating, deriving
// and deleting the pieces with their prebuilt corner vertices, uploading image pixels into the textures, and the
// release and re-creation of every texture around a device loss.
#include "graphics/d3d/d3d_surface.h"

#include <cstring>

#include "graphics/color/color_convert.h"
#include "graphics/d3d/d3d_state.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/surface_data.h"
#include "runtime/handle.h"
#include "runtime/log.h"

namespace {

HandleTable<Surface3D> g_surfaces(kHandleTypeSurface3D, kSurface3DSlots);

bool HaveObject() { return GetDirect3DState().object != nullptr; }

// Corner vertices of a piece: graph positions, and texture coordinates over the used part of its texture.
void BuildCorners(Surface3D* p, int dataWidth, int dataHeight) {
    const float gx = p->graphX, gy = p->graphY, w = p->width, h = p->height;
    const float u0 = static_cast<float>(p->dataX) / dataWidth, u1 = static_cast<float>(p->dataX + p->width) / dataWidth;
    const float v0 = static_cast<float>(p->dataY) / dataHeight,
                v1 = static_cast<float>(p->dataY + p->height) / dataHeight;
    p->corners[0] = VertexTex{gx, gy, 0.0f, 1.0f, 0xFFFFFFFFu, u0, v0};
    p->corners[1] = VertexTex{gx + w, gy, 0.0f, 1.0f, 0xFFFFFFFFu, u1, v0};
    p->corners[2] = VertexTex{gx, gy + h, 0.0f, 1.0f, 0xFFFFFFFFu, u0, v1};
    p->corners[3] = VertexTex{gx + w, gy + h, 0.0f, 1.0f, 0xFFFFFFFFu, u1, v1};
}

// A texture about to disappear must not stay bound in any device record: its address could come back for another.
void ForgetTexture(IDirectDrawSurface7* texture) {
    if (texture == nullptr) return;
    for (int i = 0; i < kDevice3DCount; ++i) {
        Device3D* d = GetDevice3DRecord(i);
        if (!d->inUse || d->device == nullptr) continue;
        bool flushed = false;
        auto flushOnce = [&]() {
            if (!flushed) FlushDeviceBatch3D(d), flushed = true;
        };
        if (d->texture == texture) flushOnce(), SetDeviceTexture3D(d, nullptr);
        if (d->blendTexture == texture) flushOnce(), d->blendTexture = nullptr, d->blendStatesPending = 1;
        for (int stage = 0; stage < kStageCount3D; ++stage) {
            if (d->stages[stage].texture == texture) {
                flushOnce();
                d->device->SetTexture(static_cast<DWORD>(stage), nullptr);
                d->stages[stage].texture = nullptr;
            }
        }
    }
}

struct PiecePlan {
    int x, y, width, height;
};

// Deletes the handles made so far of a graph whose pieces could not all be made.
void DeletePieces(const int* handles, int count) {
    for (int i = 0; i < count; ++i) DeleteSurface3D(handles[i]);
}

// Clips a source rectangle to the image and the destination to the surface data; false when nothing is left.
bool ClipUpload(const GraphImage* image, const GraphImage* alphaImage, const SurfaceData* data, RECT* source,
                int* destX, int* destY) {
    if (source->left < 0) *destX -= source->left, source->left = 0;
    if (source->top < 0) *destY -= source->top, source->top = 0;
    if (*destX < 0) source->left -= *destX, *destX = 0;
    if (*destY < 0) source->top -= *destY, *destY = 0;
    long right = source->right, bottom = source->bottom;
    if (right > image->width) right = image->width;
    if (bottom > image->height) bottom = image->height;
    if (alphaImage != nullptr) {
        if (right > alphaImage->width) right = alphaImage->width;
        if (bottom > alphaImage->height) bottom = alphaImage->height;
    }
    if (right - source->left > data->width - *destX) right = source->left + data->width - *destX;
    if (bottom - source->top > data->height - *destY) bottom = source->top + data->height - *destY;
    source->right = right;
    source->bottom = bottom;
    return source->left < source->right && source->top < source->bottom;
}

}  // namespace

IDirectDrawSurface7* CreateSystemTexture(const SurfaceData* data, const DDPIXELFORMAT& format, HRESULT* result) {
    IDirectDraw7* display = GetDisplayObject();
    if (result != nullptr) *result = DDERR_GENERIC;
    if (display == nullptr) return nullptr;
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc.dwWidth = data->width;
    desc.dwHeight = data->height;
    desc.ddpfPixelFormat = format;
    desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY;
    IDirectDrawSurface7* surface = nullptr;
    const HRESULT hr = display->CreateSurface(&desc, &surface, nullptr);
    if (result != nullptr) *result = hr;
    return SUCCEEDED(hr) ? surface : nullptr;
}

// ---- The split ----
int SplitTextureSizes(int length, int* sizes, int capacity, int splitMode) {
    const Direct3DState& s = GetDirect3DState();
    const int t = s.minTextureSize > 32 ? static_cast<int>(s.minTextureSize) : 32;
    const int m = static_cast<int>(s.maxTextureSize);
    int screenWidth = 0, screenHeight = 0;
    GetScreenSize(&screenWidth, &screenHeight);
    int count = 0;
    auto put = [&](int size) {
        if (count < capacity) sizes[count] = size;
        ++count;
    };
    if (length <= 0) return 0;
    if (t >= length) {
        int size = t;
        while (size > m && size / 2 >= length) size /= 2;
        put(size);
        return count;
    }
    // The largest piece: the maximum itself when the graph may be large, else the screen width as a power of two.
    int largest = 8;
    if (splitMode == 1) {
        largest = m;
    } else if (screenWidth <= m) {
        while (largest < screenWidth) largest *= 2;
    } else {
        while (largest * 2 <= m) largest *= 2;
    }
    int h = largest;
    if (largest > t) {
        while (h > length && h > t) h /= 2;
    }
    if ((splitMode == 1 || length < screenWidth) && 2 * h <= largest) {
        put(h < length ? 2 * h : h);
        return count;
    }
    int left = length;
    for (;;) {
        put(h);
        left -= h;
        if (left <= 0) break;
        if (left > 3 * h / 4 && h < largest) {
            if (count <= capacity) sizes[count - 1] = 2 * h;
            break;
        }
        while (left < h && h > t) h /= 2;
    }
    if (count >= 2 && count <= capacity && sizes[count - 1] == sizes[count - 2] && 2 * sizes[count - 1] <= largest) {
        sizes[count - 2] *= 2;
        --count;
    }
    return count;
}

// ---- The table ----
int AddSurface3DData(int textureWidth, int textureHeight, int graphX, int graphY, int width, int height, int sourceX,
                     int sourceY, int graph, const Surface3D* parent, int dataX, int dataY,
                     const unsigned char* creation) {
    if (!HaveObject()) {
        WriteLog("３Ｄグラフィックエンジンが初期化されていません\n");
        return -1;
    }
    if (g_surfaces.isFull()) {
        WriteLog("３Ｄグラフィックの数が許容量を越えました。\n");
        return -1;
    }
    const int handle = g_surfaces.add();
    if (handle < 0) {
        WriteLog("メモリの確保に失敗しました in AddSurface3DData \n");
        return -1;
    }
    Surface3D* p = g_surfaces.get(handle);
    if (parent != nullptr) {
        if (AddSurfaceDataRef(parent->surfaceData) < 0) {
            g_surfaces.remove(handle);
            return -1;
        }
        p->surfaceData = parent->surfaceData;
        dataX += parent->dataX, dataY += parent->dataY;
        sourceX += parent->sourceX, sourceY += parent->sourceY;
    } else {
        p->surfaceData = CreateSurfaceData(1, textureWidth, textureHeight, GetDrawState().transparentColor, creation);
        if (p->surfaceData < 0) {
            g_surfaces.remove(handle);
            return -1;
        }
    }
    const SurfaceData* data = SurfaceDataToRecord(p->surfaceData);
    p->graphX = static_cast<int16_t>(graphX), p->graphY = static_cast<int16_t>(graphY);
    p->dataX = static_cast<uint16_t>(dataX), p->dataY = static_cast<uint16_t>(dataY);
    p->sourceX = static_cast<int16_t>(sourceX), p->sourceY = static_cast<int16_t>(sourceY);
    p->width = static_cast<int16_t>(width), p->height = static_cast<int16_t>(height);
    p->graph = graph;
    BuildCorners(p, data->width, data->height);
    return handle;
}

int DeleteSurface3D(int handle) {
    Surface3D* p = g_surfaces.get(handle);
    if (p == nullptr) return -1;
    if (ReleaseSurfaceDataRef(p->surfaceData) <= 0) {
        if (const SurfaceData* data = SurfaceDataToRecord(p->surfaceData)) ForgetTexture(data->surface);
        DeleteSurfaceData(p->surfaceData);
    }
    if (p->lostFlag != nullptr) *p->lostFlag = 1;
    return g_surfaces.remove(handle);
}

Surface3D* GetSurface3D(int handle) { return g_surfaces.get(handle); }

int ReleaseAllSurfaces3D() {
    g_surfaces.forEach([](int handle, Surface3D*) { DeleteSurface3D(handle); });
    // The slot array is tracked memory too; check ids keep counting across the clear.
    g_surfaces.clear();
    return 0;
}

int ClearSurfaceTable3D() {
    if (!HaveObject()) return -1;
    return ReleaseAllSurfaces3D();
}

int ReleaseAllSurface3DTextures() {
    g_surfaces.forEach([](int, Surface3D* p) { ReleaseSurfaceDataSurface(p->surfaceData); });
    return 0;
}

int RecreateAllSurface3DTextures() {
    int result = 0;
    g_surfaces.forEach([&result](int, Surface3D* p) {
        if (CreateSurfaceDataSurface(p->surfaceData) != 0) {
            result = -1;
            return;
        }
        SetSurfaceDataColorKey(p->surfaceData);
    });
    return result;
}

void GetSurface3DTableState(int* live, int* highWater, int* nextCheckId) {
    if (live) *live = g_surfaces.liveCount();
    if (highWater) *highWater = g_surfaces.highWater();
    if (nextCheckId) *nextCheckId = g_surfaces.nextCheckId();
}

void ComputeCornerFlags3D(Surface3D* piece, int graphWidth, int graphHeight) {
    const double aspect = static_cast<double>(graphHeight) / graphWidth;
    for (int k = 0; k < 4; ++k) {
        const double x = piece->corners[k].x, y = piece->corners[k].y;
        piece->cornerFlags[k] = y <= graphHeight - x * aspect ? 1 : 0;
    }
}

IDirectDrawSurface7* Surface3DTexture(const Surface3D* piece) {
    const SurfaceData* data = piece != nullptr ? SurfaceDataToRecord(piece->surfaceData) : nullptr;
    return data != nullptr ? data->surface : nullptr;
}

int GetSurface3DPlacement(int handle, int* surfaceData, int* x, int* y) {
    const Surface3D* p = g_surfaces.get(handle);
    if (p == nullptr) return -1;
    if (surfaceData) *surfaceData = p->surfaceData;
    if (x) *x = p->dataX;
    if (y) *y = p->dataY;
    return 0;
}

// ---- Graphs ----
int CreateGraphTextures3D(GraphRecord* graph) {
    if (graph == nullptr) return -1;
    if (!HaveObject()) {
        WriteLog("３Ｄグラフィックエンジンが初期化されていません\n");
        return -1;
    }
    const int gw = graph->width, gh = graph->height;
    if (gw <= 0 || gh <= 0 || gw > 0x7FFF || gh > 0x7FFF) return -1;  // piece positions are 16-bit
    const int mode = graph->creation[kCreateDrawValid] | graph->creationSetting;
    int columnSizes[kMaxGraphTexturePieces], rowSizes[kMaxGraphTexturePieces];
    const int columns = SplitTextureSizes(gw, columnSizes, kMaxGraphTexturePieces, mode);
    const int rows = SplitTextureSizes(gh, rowSizes, kMaxGraphTexturePieces, mode);
    if (columns * rows > kMaxGraphTexturePieces) {
        WriteLogFormat("エラー：画像の分割数が最大数の %d を超えました", kMaxGraphTexturePieces);
        return -1;
    }
    PiecePlan plan[kMaxGraphTexturePieces];
    int count = 0;
    for (int r = 0, y = 0; r < rows; y += rowSizes[r], ++r) {
        for (int c = 0, x = 0; c < columns; x += columnSizes[c], ++c) plan[count++] = PiecePlan{x, y, columnSizes[c], rowSizes[r]};
    }
    if (GetDirect3DState().deviceDesc.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_SQUAREONLY) {
        // Square textures only: a piece becomes a row or column of squares; the whole cut must still fit.
        int total = count;
        for (int i = 0; i < count; ++i) {
            const PiecePlan& p = plan[i];
            const int side = p.width < p.height ? p.width : p.height;
            const int along = p.width < p.height ? p.height : p.width;
            for (int k = 1; k < along / side; ++k) {
                const int start = (p.width < p.height ? p.y : p.x) + k * side;
                if (start < (p.width < p.height ? gh : gw)) ++total;
            }
        }
        if (total > kMaxGraphTexturePieces) {
            WriteLogFormat("エラー：画像の分割数が最大数の %d を超えました", kMaxGraphTexturePieces);
            return -1;
        }
        const int original = count;
        for (int i = 0; i < original; ++i) {
            const PiecePlan p = plan[i];
            if (p.width == p.height) continue;
            const bool tall = p.width < p.height;
            const int side = tall ? p.width : p.height;
            plan[i] = PiecePlan{p.x, p.y, side, side};
            for (int k = 1; k < (tall ? p.height : p.width) / side; ++k) {
                const PiecePlan square = tall ? PiecePlan{p.x, p.y + k * side, side, side}
                                              : PiecePlan{p.x + k * side, p.y, side, side};
                if ((tall ? square.y : square.x) < (tall ? gh : gw)) plan[count++] = square;
            }
        }
    }
    int handles[kMaxGraphTexturePieces];
    for (int i = 0; i < count; ++i) {
        const PiecePlan& p = plan[i];
        const int w = p.width < gw - p.x ? p.width : gw - p.x;
        const int h = p.height < gh - p.y ? p.height : gh - p.y;
        handles[i] = AddSurface3DData(p.width, p.height, p.x, p.y, w, h, p.x, p.y, graph->handle, nullptr, 0, 0,
                                      graph->creation);
        if (handles[i] < 0) {
            // The pieces made so far belong to no graph yet: nothing else would ever delete them.
            DeletePieces(handles, i);
            graph->pieceCount = 0;
            return -1;
        }
        ComputeCornerFlags3D(g_surfaces.get(handles[i]), gw, gh);
    }
    std::memcpy(graph->pieces, handles, sizeof(int) * static_cast<size_t>(count));
    graph->pieceCount = count;
    return 0;
}

int DeriveGraphTextures3D(int x, int y, int width, int height, GraphRecord* graph, const GraphRecord* parent) {
    if (!HaveObject() || graph == nullptr || parent == nullptr || parent->pieceCount <= 0) return -1;
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || x + width > parent->width || y + height > parent->height) {
        return -1;
    }
    int handles[kMaxGraphTexturePieces];
    int count = 0;
    auto fail = [&]() {
        DeletePieces(handles, count);
        graph->pieceCount = 0;
        return -1;
    };
    if (parent->pieceCount == 1) {
        const Surface3D* p = g_surfaces.get(parent->pieces[0]);
        if (p == nullptr) return fail();
        const int handle = AddSurface3DData(0, 0, 0, 0, width, height, x, y, graph->handle, p, x, y, graph->creation);
        if (handle < 0) return fail();
        handles[count++] = handle;
    } else {
        for (int i = 0; i < parent->pieceCount; ++i) {
            const Surface3D* p = g_surfaces.get(parent->pieces[i]);
            if (p == nullptr) return fail();
            const int left = x > p->graphX ? x : p->graphX;
            const int top = y > p->graphY ? y : p->graphY;
            const int right = x + width < p->graphX + p->width ? x + width : p->graphX + p->width;
            const int bottom = y + height < p->graphY + p->height ? y + height : p->graphY + p->height;
            if (left >= right || top >= bottom) continue;
            const int handle = AddSurface3DData(0, 0, left - x, top - y, right - left, bottom - top, left - p->graphX,
                                                top - p->graphY, graph->handle, p, left - p->graphX, top - p->graphY,
                                                graph->creation);
            if (handle < 0) return fail();
            handles[count++] = handle;
        }
    }
    for (int i = 0; i < count; ++i) ComputeCornerFlags3D(g_surfaces.get(handles[i]), width, height);
    std::memcpy(graph->pieces, handles, sizeof(int) * static_cast<size_t>(count));
    graph->pieceCount = count;
    return 0;
}

int DeleteGraphTextures3D(GraphRecord* graph) {
    if (graph == nullptr) return -1;
    for (int i = 0; i < graph->pieceCount; ++i) DeleteSurface3D(graph->pieces[i]);
    graph->pieceCount = 0;
    return 0;
}

// ---- Uploads ----
int UploadTexture3D(const GraphImage* image, const GraphImage* alphaImage, const RECT* sourceRect, int destX,
                    int destY, int handle, int useSourceAlpha) {
    if (!HaveObject()) return -1;
    FlushVertexBatch3D();
    const Surface3D* p = g_surfaces.get(handle);
    if (p == nullptr || image == nullptr || image->pixels == nullptr || sourceRect == nullptr) return -1;
    if (alphaImage != nullptr && alphaImage->pixels == nullptr) alphaImage = nullptr;
    SurfaceData* data = SurfaceDataToRecord(p->surfaceData);
    if (data == nullptr || data->surface == nullptr) return -1;
    const TextureFormatRow* row = GetTextureFormatRow(data->formatIndex);
    if (row == nullptr) return -1;
    RECT source = *sourceRect;
    int dx = destX, dy = destY;
    if (!ClipUpload(image, alphaImage, data, &source, &dx, &dy)) return 0;
    const int w = source.right - source.left, h = source.bottom - source.top;
    const int keyToAlpha = (useSourceAlpha && row->format.alphaMask != 0 && alphaImage == nullptr &&
                            image->format.alphaMask == 0)
                               ? 1
                               : 0;

    RECT lockRect = {dx, dy, dx + w, dy + h};
    int pitch = 0;
    void* pixels = nullptr;
    int writeX = 0, writeY = 0;
    IDirectDrawSurface7* temporary = nullptr;
    const int locked = LockSurfaceData(p->surfaceData, &pitch, &pixels, 1, &lockRect, nullptr);
    if (locked == -2) {
        // Somebody holds a lock on another rectangle: its pointer is not ours to write through.
        UnlockSurfaceData(p->surfaceData, &lockRect);
        return -1;
    }
    if (locked != 0) {
        temporary = CreateSystemTexture(data, row->pixelFormat, nullptr);
        DDSURFACEDESC2 desc;
        std::memset(&desc, 0, sizeof(desc));
        desc.dwSize = sizeof(desc);
        if (temporary == nullptr ||
            FAILED(temporary->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr))) {
            if (temporary != nullptr) temporary->Release();
            WriteLog("テンポラリテクスチャサーフェスの作成に失敗しました");
            return -1;
        }
        pixels = desc.lpSurface;
        pitch = static_cast<int>(desc.lPitch);
        writeX = dx, writeY = dy;
    }
    ColorFormatConvertBlt(pixels, pitch, &row->format, image->pixels, image->pitch, &image->format,
                          alphaImage != nullptr ? alphaImage->pixels : nullptr,
                          alphaImage != nullptr ? alphaImage->pitch : 0,
                          alphaImage != nullptr ? &alphaImage->format : nullptr, writeX, writeY, &source, 0, keyToAlpha,
                          data->transparentColor, kDitherNone, 0, 0, 0);
    int result = 0;
    if (temporary == nullptr) {
        UnlockSurfaceData(p->surfaceData, &lockRect);
    } else {
        temporary->Unlock(nullptr);
        data->surface->Restore();
        POINT point = {dx, dy};
        IDirect3DDevice7* device = GetCurrentDevice3D();
        if (device == nullptr || FAILED(device->Load(data->surface, &point, temporary, &lockRect, 0))) {
            WriteLog("作業用テクスチャサーフェスから描画用テクスチャサーフェスへの画像転送に失敗しました");
            result = -1;
        }
        temporary->Release();
    }
    SetSurfaceDataColorKey(p->surfaceData);
    return result;
}

int BltImageToGraph3D(int x, int y, GraphRecord* graph, const GraphImage* image, const GraphImage* alphaImage) {
    if (!HaveObject() || graph == nullptr) return -1;
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface3D* p = g_surfaces.get(graph->pieces[i]);
        if (p == nullptr) return -1;
        const RECT source = {p->graphX + x, p->graphY + y, p->graphX + x + p->width, p->graphY + y + p->height};
        if (UploadTexture3D(image, alphaImage, &source, p->dataX, p->dataY, graph->pieces[i], 1) != 0) return -1;
    }
    return 0;
}

int BltImageRectToGraph3D(const RECT* sourceRect, int x, int y, GraphRecord* graph, const GraphImage* image,
                          const GraphImage* alphaImage) {
    if (!HaveObject() || graph == nullptr || sourceRect == nullptr) return -1;
    const int placedRight = x + (sourceRect->right - sourceRect->left);
    const int placedBottom = y + (sourceRect->bottom - sourceRect->top);
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface3D* p = g_surfaces.get(graph->pieces[i]);
        if (p == nullptr) return -1;
        const int left = x > p->graphX ? x : p->graphX;
        const int top = y > p->graphY ? y : p->graphY;
        const int right = placedRight < p->graphX + p->width ? placedRight : p->graphX + p->width;
        const int bottom = placedBottom < p->graphY + p->height ? placedBottom : p->graphY + p->height;
        if (left >= right || top >= bottom) continue;
        const RECT source = {sourceRect->left + (left - x), sourceRect->top + (top - y),
                             sourceRect->left + (right - x), sourceRect->top + (bottom - y)};
        if (UploadTexture3D(image, alphaImage, &source, p->dataX + (left - p->graphX), p->dataY + (top - p->graphY),
                            graph->pieces[i], 1) != 0) {
            return -1;
        }
    }
    return 0;
}

// ---- Loss ----
int RestoreLostSurfaces3D(GraphRecord* graph) {
    if (!HaveObject() || graph == nullptr) return -1;
    int lost = 0;
    for (int i = 0; i < graph->pieceCount; ++i) {
        const Surface3D* p = g_surfaces.get(graph->pieces[i]);
        if (p != nullptr && CheckSurfaceDataLost(p->surfaceData) != 0) lost = 1;
    }
    return lost ? -1 : 0;
}

int RestoreAllLostSurfaces3D() {
    if (!HaveObject()) return -1;
    g_surfaces.forEach([](int, Surface3D* p) { CheckSurfaceDataLost(p->surfaceData); });
    return 0;
}

int LockSurface3D(int handle, int* pitch, void** pointer, int writeOnly, const RECT* rect, const ColorFormat** format) {
    const Surface3D* p = g_surfaces.get(handle);
    if (!HaveObject() || p == nullptr) return -1;
    return LockSurfaceData(p->surfaceData, pitch, pointer, writeOnly, rect, format);
}

int UnlockSurface3D(int handle, const RECT* rect) {
    const Surface3D* p = g_surfaces.get(handle);
    if (!HaveObject() || p == nullptr) return -1;
    return UnlockSurfaceData(p->surfaceData, rect);
}
