// The game-facing graphics entries: each takes the runtime's API lock, calls its Impl twin and returns the
// result unchanged. Entries marked "no lock" in graphics.h are plain calls.
#include "graphics/graphics.h"

#include "graphics/color/color_format.h"
#include "graphics/derive.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/ddraw/present.h"
#include "runtime/api_lock.h"

const DDPIXELFORMAT* GetScreenDDPixelFormat() {
    ApiLockScope lock;
    return GetScreenDDPixelFormatImpl();
}

int RgbToScreenPixel(int red, int green, int blue) {
    ApiLockScope lock;
    return static_cast<int>(RgbToScreenPixelImpl(red, green, blue));
}

int SetColorFormatFromMasks(ColorFormat* format, int bitDepth, unsigned int redMask, unsigned int greenMask,
                            unsigned int blueMask, unsigned int alphaMask) {
    return SetColorFormatFromMasksImpl(format, bitDepth, redMask, greenMask, blueMask, alphaMask);
}

int FillDDPixelFormat(DDPIXELFORMAT* format, int bitCount, unsigned int redMask, unsigned int greenMask,
                      unsigned int blueMask, unsigned int alphaMask) {
    return FillDDPixelFormatImpl(format, bitCount, redMask, greenMask, blueMask, alphaMask);
}

int PresentBackScreen2D() {
    ApiLockScope lock;
    return PresentBackScreen2DImpl();
}

int PresentBackScreenUnpaced() {
    ApiLockScope lock;
    return PresentBackScreenUnpacedImpl();
}

int ClearTargetScreen() {
    ApiLockScope lock;
    return ClearTargetScreenImpl();
}

int SetTargetScreen(int target) {
    ApiLockScope lock;
    return SetTargetScreenImpl(target);
}

int LoadGraphFromFile(const char* path, int flag) {
    ApiLockScope lock;
    return LoadGraphFromFileImpl(path, flag);
}

int CreateEmptyGraph(int width, int height, int flag) {
    ApiLockScope lock;
    return CreateEmptyGraphImpl(width, height, flag);
}

int ReleaseGraph(int graph, int logFlag) {
    ApiLockScope lock;
    return ReleaseGraphImpl(graph, logFlag);
}

int ReleaseAllGraphs(int logFlag) {
    ApiLockScope lock;
    return ReleaseAllGraphsImpl(logFlag);
}

int DrawGraphAt(int x, int y, int graph, int transparent) {
    ApiLockScope lock;
    return DrawGraphAtImpl(x, y, graph, transparent);
}

int DrawGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent) {
    ApiLockScope lock;
    return DrawGraphStretchedImpl(x1, y1, x2, y2, graph, transparent);
}

int SetBlendMode(int mode, int parameter) {
    ApiLockScope lock;
    return SetBlendModeImpl(mode, parameter);
}

int DrawGraphRotated(int centreX, int centreY, double scale, double angle, int graph, int transparent, int mirror) {
    ApiLockScope lock;
    return DrawGraphRotatedImpl(centreX, centreY, scale, angle, graph, transparent, mirror);
}

int DrawGraphMirrored(int x, int y, int graph, int transparent) {
    ApiLockScope lock;
    return DrawGraphMirroredImpl(x, y, graph, transparent);
}

int DrawGraphPart(int destX, int destY, int srcX, int srcY, int width, int height, int graph, int transparent,
                  int mirror) {
    ApiLockScope lock;
    return DrawGraphPartImpl(destX, destY, srcX, srcY, width, height, graph, transparent, mirror);
}

int DrawRectangle(int x1, int y1, int x2, int y2, int color, int fill) {
    ApiLockScope lock;
    return DrawRectangleImpl(x1, y1, x2, y2, color, fill);
}

int SetDrawFilterMode(int mode) {
    ApiLockScope lock;
    return SetDrawFilterModeImpl(mode);
}

int SetDrawColorScale(int red, int green, int blue) {
    ApiLockScope lock;
    return SetDrawColorScaleImpl(red, green, blue);
}

int GetDrawColorScale(int* red, int* green, int* blue) {
    ApiLockScope lock;
    return GetDrawColorScaleImpl(red, green, blue);
}

int SetViewportRect(int x1, int y1, int x2, int y2) {
    ApiLockScope lock;
    return SetViewportRectImpl(x1, y1, x2, y2);
}

int CaptureScreenToGraph(int x1, int y1, int x2, int y2, int graph, int flag) {
    ApiLockScope lock;
    return CaptureScreenToGraphImpl(x1, y1, x2, y2, graph, flag);
}

int GetGraphDimensions(int graph, int* width, int* height) {
    ApiLockScope lock;
    return GetGraphDimensionsImpl(graph, width, height);
}

int ClipRect(RECT* rect, const RECT* clip) { return ClipRectImpl(rect, clip); }

int DeriveSubGraph(int x, int y, int width, int height, int sourceGraph) {
    ApiLockScope lock;
    return DeriveSubGraphImpl(x, y, width, height, sourceGraph);
}
