// Derived graphs: a new graph record whose pieces are views of a rectangle of another graph's pieces. The record
// keeps the source's file, load directory and restore parameter with its own position in the source image, so
// the reload after a device loss refills exactly its rectangle, also after the source itself was released.
#include "graphics/derive.h"

#include <algorithm>
#include <cstring>

#include "graphics/graph.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/d3d/surface3d.h"
#include "runtime/log.h"
#include "runtime/memory.h"

namespace {
// A tracked copy of a text, or null for none; *failed is set when the copy could not be made.
char* CopyName(const char* text, bool* failed) {
    if (text == nullptr) return nullptr;
    const size_t length = std::strlen(text);
    char* copy = static_cast<char*>(TrackedAlloc(length + 1, __FILE__, __LINE__));
    if (copy == nullptr) {
        *failed = true;
        return nullptr;
    }
    std::memcpy(copy, text, length + 1);
    return copy;
}
}  // namespace

int DeriveSubGraphImpl(int x, int y, int width, int height, int sourceGraph) {
    const GraphRecord* source = GetGraphRecord(sourceGraph);
    if (source == nullptr) return -1;
    // The rectangle must start inside the source and have a size; what reaches past the far edges is cut.
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || x >= source->width || y >= source->height) return -1;
    width = std::min(width, source->width - x);
    height = std::min(height, source->height - y);

    GraphRecord* g = nullptr;
    const int handle = AllocGraphHandle(width, height, source->creation[kCreateTexture], &g,
                                        source->creation[kCreateAlpha], source->creation[kCreatePalette]);
    std::memcpy(g->creation, source->creation, sizeof(g->creation));
    g->restoreParameter = source->restoreParameter;
    g->sourceX = source->sourceX + x;
    g->sourceY = source->sourceY + y;
    bool copyFailed = false;
    g->fileName = CopyName(source->fileName, &copyFailed);
    g->loadDirectory = CopyName(source->loadDirectory, &copyFailed);

    const int derived = copyFailed ? -1
                        : g->creation[kCreateTexture] == 1
                            ? DeriveGraphTextures3D(x, y, width, height, g, source)
                            : DeriveGraphSurface2D(g, x, y, width, height, source);
    if (derived != 0) {
        WriteLog("グラフィックの派生に失敗しました終了します");
        ReleaseGraphImpl(handle, 0);
        return -1;
    }
    // Only a graph that is really made shares the source's movie: releasing a failed one would close it.
    g->movieHandle = source->movieHandle;
    return handle;
}
