// Graph restore: filling a graph from an image while remembering where the pixels came from, the built-in reload
// of every graph from its file (graphs cut from one file load it once), and the restore sequence of the whole
// screen system after the display was lost or changed. The window procedure and the message pump call it.
#include "graphics/restore.h"

#include <stdint.h>

#include <cstring>

#include "font/font.h"
#include "graphics/ddraw/blit2d.h"
#include "graphics/color/color_format.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/mask.h"
#include "graphics/movie.h"
#include "graphics/ddraw/present.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/d3d/surface3d.h"
#include "input/input_device.h"
#include "runtime/file.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/window.h"

namespace {

// Survives graph management's start, which zeroes everything else of the graph layer.
GraphRestoreFunction g_restoreFunction = nullptr;

char* CopyText(const char* text) {
    const size_t length = std::strlen(text);
    char* copy = static_cast<char*>(TrackedAlloc(length + 1, __FILE__, __LINE__));
    if (copy != nullptr) std::memcpy(copy, text, length + 1);
    return copy;
}

// Calls fn(handle, record) for every live graph from slot 0 to the end mark.
template <typename Fn>
void ForEachGraph(Fn fn) {
    int endMark = 0;
    GetGraphTableState(nullptr, &endMark, nullptr);
    for (int slot = 0; slot < endMark; ++slot) {
        const int handle = GetGraphHandleAtSlot(slot);
        if (handle == -1) continue;
        GraphRecord* g = GetGraphRecord(handle);
        if (g != nullptr) fn(handle, g);
    }
}

// Restores the graph's pieces; true when any of them had been lost.
bool RestoreGraphPieces(GraphRecord* g) {
    const bool lost = g->creation[kCreateTexture] == 1 ? RestoreLostSurfaces3D(g) != 0 : RestoreLostSurfaces2D(g) != 0;
    if (g->movieHandle != -1) RestoreMovieSurfaces(g->movieHandle);
    return lost;
}

int UploadImage(GraphRecord* g, const GraphImage* image, const GraphImage* alphaImage, int x, int y) {
    if (g->creation[kCreateTexture] == 1) return BltImageToGraph3D(x, y, g, image, alphaImage);
    return BltImageToGraph2D(image, alphaImage, x, y, g);
}

// The image (and alpha image) last loaded by the reload walk, kept while the next graph comes from the same file.
struct LoadedSource {
    char* fileName = nullptr;
    char* directory = nullptr;
    int parameter = 0;
    bool haveImage = false;
    bool haveAlpha = false;
    GraphImage image{};
    GraphImage alpha{};

    bool Matches(const char* name, const char* dir, int param) const {
        return haveImage && fileName != nullptr && std::strcmp(fileName, name) == 0 &&
               std::strcmp(directory, dir) == 0 && parameter == param;
    }
    void Release() {
        if (haveImage) ReleaseGraphImage(&image);
        if (haveAlpha) ReleaseGraphImage(&alpha);
        haveImage = haveAlpha = false;
        TrackedFree(fileName);
        TrackedFree(directory);
        fileName = directory = nullptr;
    }
    // Loads the file from its directory. False when it cannot be read (the graph then stays unfilled).
    bool Load(const char* name, const char* dir, int param) {
        Release();
        fileName = CopyText(name);
        directory = CopyText(dir);
        parameter = param;
        if (fileName == nullptr || directory == nullptr) return false;
        if (dir[0] != '\0') FileLayerSetDir(dir);
        const int loaded = LoadImageWithAlphaFile(fileName, nullptr, 0, nullptr, 0, param, &image, &alpha);
        haveImage = loaded >= 0;
        haveAlpha = loaded == 0;
        // The graph was made for a pair of equal sizes; a companion that changed size since is not used.
        if (haveAlpha && (alpha.width != image.width || alpha.height != image.height)) {
            ReleaseGraphImage(&alpha);
            haveAlpha = false;
        }
        return haveImage;
    }
};

}  // namespace

int SetGraphRestoreSource(const char* fileName, const GraphImage* image, const GraphImage* alphaImage, int srcX,
                          int srcY, int graph, int restoreParameter) {
    GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr) return -1;
    // The name may be the record's own, which storing it again frees first.
    char* ownCopy = nullptr;
    if (fileName != nullptr && fileName == g->fileName) fileName = ownCopy = CopyText(fileName);
    SetGraphFileName(graph, fileName);
    TrackedFree(ownCopy);
    g->restoreParameter = restoreParameter;
    g->sourceX = srcX;
    g->sourceY = srcY;
    return UploadImage(g, image, alphaImage, srcX, srcY);
}

int SetGraphRestoreFile(const char* fileName, const GraphImage* image, const GraphImage* alphaImage,
                        const RECT* sourceRect, int x, int y, int graph, int restoreParameter) {
    GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr || sourceRect == nullptr) return -1;
    char* ownCopy = nullptr;
    if (fileName != nullptr && fileName == g->fileName) fileName = ownCopy = CopyText(fileName);
    SetGraphFileName(graph, fileName);
    TrackedFree(ownCopy);
    g->sourceX = static_cast<int16_t>(sourceRect->left);
    g->sourceY = static_cast<int16_t>(sourceRect->top);
    g->restoreParameter = restoreParameter;
    if (g->creation[kCreateTexture] == 1) return BltImageRectToGraph3D(sourceRect, x, y, g, image, alphaImage);
    return BltImageRectToGraph2D(image, alphaImage, sourceRect, x, y, g);
}

int SetGraphRestoreCallback(GraphRestoreFunction function) {
    g_restoreFunction = function != nullptr ? function : RestoreGraphsCallback;
    return 0;
}

int HasGraphRestoreCallback() { return g_restoreFunction != nullptr ? 1 : 0; }

int MarkAllGraphsForReload() {
    ForEachGraph([](int, GraphRecord* g) { g->reloadNeeded = 1; });
    if (g_restoreFunction != nullptr) g_restoreFunction();
    RecreateAllFonts();
    return 0;
}

int RestoreGraphsCallback() {
    WriteLog("グラフィックを復帰します\n");
    char savedDirectory[kFilePathMax];
    const bool haveSavedDirectory = FileLayerGetDir(savedDirectory) >= 0;

    // The names are stored whole, so a deep load directory or a long name reloads like any other.
    LoadedSource source;
    ForEachGraph([&source](int handle, GraphRecord* g) {
        if (g->reloadNeeded != 1 || g->fileName == nullptr || g->fileName[0] == '\0') return;
        const char* directory = g->loadDirectory != nullptr ? g->loadDirectory : "";
        if (!source.Matches(g->fileName, directory, g->restoreParameter)) {
            source.Load(g->fileName, directory, g->restoreParameter);
        }
        if (source.haveImage) {
            SetGraphRestoreSource(source.fileName, &source.image, source.haveAlpha ? &source.alpha : nullptr,
                                  g->sourceX, g->sourceY, handle, g->restoreParameter);
        }
        g->reloadNeeded = 0;
    });
    source.Release();
    if (haveSavedDirectory) FileLayerSetDir(savedDirectory);
    return 0;
}

int RestoreGraphSurfaces(int graph) {
    GraphRecord* g = GetGraphRecord(graph);
    if (g == nullptr) return -1;
    RestoreGraphPieces(g);
    return 0;
}

int RestoreAllGraphSurfaces() {
    bool anyLost = false;
    ForEachGraph([&anyLost](int, GraphRecord* g) { anyLost = RestoreGraphPieces(g) || anyLost; });
    if (anyLost) MarkAllGraphsForReload();
    return 0;
}

int RestoreScreenSystem() {
    LogIndentIn();
    ReleaseDirect3DObject();
    ReleaseMaskScreen();
    DestroyOutputSurfaces();
    EndInput();
    ReleaseAllSurface2DSurfaces();
    ReleaseDDClipper();
    if (IsGdiShowMode()) {
        ResetDisplayMode();
        RestoreAllSurface2DSurfaces();
        CreateDDClipper();
    } else {
        ReleaseDisplayObject();
        RecreateDisplayObject();
    }
    CreateOutputSurfaces();
    const DisplayState& display = GetDisplayState();
    const ScreenPaletteTarget palette = {display.displayObject, display.primarySurface, display.backSurface,
                                         IsWindowMode()};
    RestoreScreenPalette(palette);
    const int target = GetDrawState().target;
    SelectDrawTarget2D(target, target);
    AcquireDirect3DObject();
    ClearTargetScreenImpl();
    PresentBackScreen2DImpl();
    MarkAllGraphsForReload();
    ReopenAllMovies();
    RestoreMaskScreen();
    LogIndentOut();
    return 0;
}
