// The graph table and graph records: creation settings and the eight creation bytes that fix a graph's storage path,
// the graphics device's start and end, graph management's start and end, and the small per-graph operations. The
// pieces themselves are made by the 2D back end or the Direct3D texture code, chosen by creation byte [0].
#include "graphics/graph.h"

#include <cstring>

#include "font/font.h"
#include "graphics/ddraw/blit2d.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/mask.h"
#include "graphics/movie.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/d3d/surface3d.h"
#include "runtime/file.h"
#include "runtime/handle.h"
#include "runtime/log.h"
#include "runtime/memory.h"

namespace {

HandleTable<GraphRecord> g_graphs(kHandleTypeGraph, kGraphSlots);

int g_graphicsDeviceUp = 0;
int g_graphManagementUp = 0;
int g_3DPathUp = 0;

struct CreationSettings {
    int use3D;
    int drawValid;
    int drawValidAlpha;  // no public setter
    int alphaTest;
    int systemMemory;
    int colorDepth;
    int blankAlpha;
    int settingWord;  // no public setter
};
CreationSettings g_settings = {1, 0, 0, 1, 0, 0, 0, 0};

char* CopyToTracked(const char* text) {
    const size_t length = std::strlen(text);
    char* copy = static_cast<char*>(TrackedAlloc(length + 1, __FILE__, __LINE__));
    if (copy != nullptr) std::memcpy(copy, text, length + 1);
    return copy;
}

void FreeNames(GraphRecord* g) {
    TrackedFree(g->fileName);
    TrackedFree(g->loadDirectory);
    g->fileName = nullptr;
    g->loadDirectory = nullptr;
}

}  // namespace

// ---- Graphics device ----
int StartUpGraphicsDevice(HWND) {
    if (StartDisplayDevice() != 0) {
        if (IsMemImgDrawMode()) FatalError("DirectDraw の初期化に失敗しました");
        WriteLog("ソフトウエアレンダリングモードに変更します\n");
        SetHardwareDrawMode(0);
        if (StartDisplayDevice() != 0) FatalError("DirectDraw の初期化に失敗しました");
    }
    g_graphicsDeviceUp = 1;
    return 0;
}

int ShutDownGraphicsDevice() {
    EndDisplayDevice();
    // The display's end released every graph and 2D surface; what remains of the tables is their storage.
    ClearSurfaceDataTable();
    g_graphicsDeviceUp = 0;
    return 0;
}

int IsGraphicsDeviceUp() { return g_graphicsDeviceUp; }

// ---- Graph management ----
int GraphicsStartUp() {
    if (g_graphManagementUp) return 0;
    WriteLog("グラフィック管理系の初期化を行います\n");
    LogIndentIn();

    // The table is emptied but its check ids keep counting: a handle kept from before a display change must not
    // name a graph made after it.
    g_graphs.clear();
    ClearSurfaceDataTable();
    ZeroDrawState();
    g_settings = CreationSettings{};
    DrawState& state = GetDrawState();
    state.blendGraph = -1;
    state.zTest = 0;
    state.zWrite = 0;
    state.zCompare = 4;
    g_settings.use3D = 1;
    g_settings.alphaTest = 1;
    state.filterMode = 0;
    state.blendMode = 0;
    state.colorScale = 0xFFFFFF;
    g_graphManagementUp = 1;

    ClearSurfaceTable2D();
    g_3DPathUp = ClearSurfaceTable3D() == 0 ? 1 : 0;
    WriteLog(g_3DPathUp ? "３Ｄグラフィック描画機能を使用します\n" : "３Ｄグラフィック描画機能は使用しません\n");
    g_settings.colorDepth = 0;
    state.maskDrawRequested = 1;
    state.maskDrawActive = state.maskPresent;
    state.target = -2;
    SetTargetScreenImpl(-4);
    int width = 0, height = 0;
    GetGraphDimensionsImpl(state.target, &width, &height);
    SetViewportRectImpl(0, 0, width, height);
    ResetFonts();

    LogIndentOut();
    WriteLog("グラフィック管理系の初期化は正常に終了しました\n");
    return 0;
}

int GraphicsShutDown() {
    if (!g_graphManagementUp) return 0;
    FreeMaskScreen();
    ReleaseAllMaskData();
    ReleaseAllGraphsImpl(0);
    EndFonts();
    g_graphs.clear();
    g_graphManagementUp = 0;
    // The 3D road ends with the device: graphs made before the next start must not take the texture path.
    g_3DPathUp = 0;
    WriteLog("グラフィック管理系の終了処理は正常に終了しました\n");
    return 0;
}

int IsGraphManagementUp() { return g_graphManagementUp; }
int Is3DPathUp() { return g_3DPathUp; }

// ---- Records and handles ----
int AllocGraphHandle(int width, int height, int may3D, GraphRecord** outRecord, int alphaChannel, int paletteImage) {
    if (g_graphs.isFull()) FatalError("グラフィックの数が許容量を越えました終了します");
    const int handle = g_graphs.add();
    if (handle < 0) FatalError("メモリの確保に失敗しました");
    GraphRecord* g = g_graphs.get(handle);
    g->handle = handle;
    g->width = width;
    g->height = height;
    g->movieHandle = -1;
    g->lostFlag = nullptr;
    g->restoreData = nullptr;
    g->creationSetting = g_settings.settingWord;

    unsigned char* c = g->creation;
    c[kCreateTexture] = (may3D && g_settings.use3D && g_3DPathUp && !IsMemImgDrawMode()) ? 1 : 0;
    c[kCreatePalette] = 0;
    if (g_settings.drawValid == 1) {
        c[kCreateDrawValid] = 1;
        c[kCreateAlpha] = g_settings.drawValidAlpha == 1 ? 1 : 0;
        c[kCreateAlphaTest] = 0;
        c[kCreateSingleChannel] = 0;
    } else {
        c[kCreateDrawValid] = 0;
        c[kCreateAlpha] = static_cast<unsigned char>(alphaChannel);
        c[kCreateAlphaTest] = static_cast<unsigned char>(g_settings.alphaTest);
        c[kCreateSingleChannel] = static_cast<unsigned char>(g->creationSetting & 0xFF);
    }
    if (c[kCreateTexture] == 1) {
        c[kCreateColorBits] = static_cast<unsigned char>(g_settings.colorDepth != 0 ? g_settings.colorDepth
                                                         : alphaChannel == 1     ? 32
                                                                                 : GetScreenColorBits());
        c[kCreateSystemMemory] = 0;
        if (g->creationSetting == 1) {
            c[kCreateColorBits] = 32;
            c[kCreateAlphaTest] = 0;
            c[kCreateAlpha] = 1;
            c[kCreateDrawValid] = 0;
        }
    } else {
        c[kCreateColorBits] =
            static_cast<unsigned char>(g_settings.colorDepth != 0 ? g_settings.colorDepth : GetScreenColorBits());
        c[kCreatePalette] = static_cast<unsigned char>(paletteImage);
        c[kCreateSystemMemory] = static_cast<unsigned char>(g_settings.systemMemory);
    }
    if (outRecord != nullptr) *outRecord = g;
    return handle;
}

int CreateGraphOrFail(int width, int height, int may3D, int alphaChannel, int paletteImage) {
    GraphRecord* g = nullptr;
    const int handle = AllocGraphHandle(width, height, may3D, &g, alphaChannel, paletteImage);
    const int made = g->creation[kCreateTexture] == 1 ? CreateGraphTextures3D(g) : CreateGraphSurface2D(g);
    if (made == -1) {
        WriteLog("グラフィックの作成に失敗しました\n");
        // A graph without pieces is of no use to anyone: it must not stay in the table.
        ReleaseGraphImpl(handle, 0);
        return -1;
    }
    return handle;
}

int CreateEmptyGraphImpl(int width, int height, int flag) {
    return CreateGraphOrFail(width, height, !flag, g_settings.blankAlpha, 0);
}

GraphRecord* GetGraphRecord(int graph) { return g_graphs.get(graph); }

int ReleaseGraphImpl(int graph, int logFlag) {
    GraphRecord* g = g_graphs.get(graph);
    if (g == nullptr) return -1;
    if (g->movieHandle != -1) CloseMovieHandle(g->movieHandle);
    if (g->creation[kCreateTexture] == 1) {
        DeleteGraphTextures3D(g);
    } else {
        DeleteGraphSurfaces2D(g);
    }
    if (logFlag) WriteLogFormat("グラフィック %s の削除", g->fileName != nullptr ? g->fileName : "");
    TrackedFree(g->restoreData);
    g->restoreData = nullptr;
    FreeNames(g);
    if (g->lostFlag != nullptr) *g->lostFlag = 1;
    g_graphs.remove(graph);
    // The 2D back end must not keep drawing into the pieces just deleted: the selection now fails and marks the
    // target unusable until another one is selected.
    if (GetDrawState().target == graph) SelectDrawTarget2D(graph, graph);
    return 0;
}

int ReleaseAllGraphsImpl(int logFlag) {
    if (!g_graphManagementUp) return 0;
    g_graphs.forEach([logFlag](int handle, GraphRecord*) { ReleaseGraphImpl(handle, logFlag); });
    return 0;
}

int SetGraphLostFlagPointer(int graph, int* flag) {
    GraphRecord* g = g_graphs.get(graph);
    if (g == nullptr) return -1;
    g->lostFlag = flag;
    if (flag != nullptr) *flag = 0;
    return 0;
}

int GetGraphDimensionsImpl(int graph, int* width, int* height) {
    int w = 0, h = 0;
    if (graph == -2 || graph == -4) {
        GetScreenSize(&w, &h);
    } else {
        const GraphRecord* g = g_graphs.get(graph);
        if (g == nullptr) return -1;
        w = g->width;
        h = g->height;
    }
    if (width) *width = w;
    if (height) *height = h;
    return 0;
}

int FillGraphImpl(int graph, int red, int green, int blue, int alpha) {
    GraphRecord* g = g_graphs.get(graph);
    if (g == nullptr) return -1;
    if (g->creation[kCreateTexture] == 1) return FillGraphSurfaces3D(g, red, green, blue, alpha);
    return FillGraphSurfaces2D(g, red, green, blue, alpha);
}

int SetGraphFileName(int graph, const char* name) {
    GraphRecord* g = g_graphs.get(graph);
    if (g == nullptr) return -1;
    char directory[kFilePathMax + 1];
    directory[0] = '\0';
    if (FileLayerGetDir(directory) < 0) directory[0] = '\0';
    directory[kFilePathMax] = '\0';
    FreeNames(g);
    if (name != nullptr && name[0] != '\0') {
        g->fileName = CopyToTracked(name);
        g->loadDirectory = CopyToTracked(directory);
        if (g->fileName == nullptr || g->loadDirectory == nullptr) {
            FreeNames(g);
            return WriteLog("メモリの確保に失敗しました\n");
        }
    }
    return 0;
}

int SetGraphMovieHandle(int graph, int movie) {
    GraphRecord* g = g_graphs.get(graph);
    if (g == nullptr) return -1;
    g->movieHandle = movie;
    return 0;
}

int GetGraphHandleAtSlot(int slot) { return g_graphs.handleAtSlot(slot); }

void GetGraphTableState(int* live, int* endMark, int* nextCheckId) {
    if (live) *live = g_graphs.liveCount();
    if (endMark) *endMark = g_graphs.highWater();
    if (nextCheckId) *nextCheckId = g_graphs.nextCheckId();
}

// ---- Creation settings ----
int SetUse3D(int flag) {
    if (GetDisplayObject() == nullptr && flag == 0) SetSoftwareRenderRequest(1);
    g_settings.use3D = flag;
    return 0;
}

int GetUse3D() { return g_settings.use3D; }

int IsDrawing3DUsable() {
    return g_settings.use3D == 1 && g_3DPathUp && !IsMemImgDrawMode() && GetCurrentDevice3D() != nullptr ? 1 : 0;
}

int SetGraphCreateFlag(int flag) {
    g_settings.alphaTest = flag;
    return 0;
}
int GetGraphCreateFlag() { return g_settings.alphaTest; }

int SetCreateDrawValidGraph(int flag) {
    g_settings.drawValid = flag;
    return 0;
}
int GetCreateDrawValidGraph() { return g_settings.drawValid; }

int SetUseSystemMemoryGraph(int flag) {
    g_settings.systemMemory = IsDirectDrawActive() ? 1 : flag;
    return 0;
}
int GetUseSystemMemoryGraph() { return g_settings.systemMemory; }
void RestoreUseSystemMemoryGraph(int saved) { g_settings.systemMemory = saved; }
int SetGraphCreateModeInverted(int flag) { return SetUseSystemMemoryGraph(flag != 1); }

int SetGraphCreateDepth(int bits) {
    g_settings.colorDepth = bits;
    return 0;
}
int GetGraphCreateDepth() { return g_settings.colorDepth; }

int SetBlankGraphParam(int flag) {
    g_settings.blankAlpha = flag;
    return 0;
}
int GetBlankGraphParam() { return g_settings.blankAlpha; }
