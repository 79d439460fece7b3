// The draw state's setters and getters: blend mode, colour scale, blend graph, filter, transparent colour. Every
// setter compares with the stored value first, so setting what is already set neither waits nor reaches the device;
// 0..255 values are clamped. The Direct3D back end is told only while the 3D path is up.
#include "graphics/ddraw/blit2d.h"
#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/draw_state.h"
#include "graphics/graph.h"
#include "runtime/message_pump.h"

namespace {
int ClampByte(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }
// Colour-scale channels are read as unsigned, so a negative value counts as large and becomes 255.
unsigned int ClampChannel(int value) { return static_cast<unsigned int>(value) > 255u ? 255u : value; }
}  // namespace

int SetBlendModeImpl(int mode, int parameter) {
    DrawState& s = GetDrawState();
    const int clamped = ClampByte(parameter);
    if (s.blendMode == static_cast<unsigned int>(mode) && s.blendParameter == clamped) return 0;
    WaitWhileInactive();
    s.blendMode = static_cast<unsigned int>(mode);
    s.blendParameter = clamped;
    UpdateDrawColor3D();
    return 0;
}

int GetBlendModeImpl(int* mode, int* parameter) {
    const DrawState& s = GetDrawState();
    if (mode != nullptr) *mode = static_cast<int>(s.blendMode);
    if (parameter != nullptr) *parameter = s.blendParameter;
    return 0;
}

int SetDrawColorScaleImpl(int red, int green, int blue) {
    return SetDrawColorScaleRgb((ClampChannel(red) << 16) | (ClampChannel(green) << 8) | ClampChannel(blue));
}

int SetDrawColorScaleRgb(unsigned int rgb) {
    DrawState& s = GetDrawState();
    rgb &= 0xFFFFFF;
    if ((s.colorScale & 0xFFFFFF) == rgb) return 0;
    s.colorScale = rgb;
    if (Is3DPathUp()) UpdateDrawColor3D();
    return 0;
}

int GetDrawColorScaleImpl(int* red, int* green, int* blue) {
    const unsigned int scale = GetDrawState().colorScale;
    if (red != nullptr) *red = static_cast<int>((scale >> 16) & 0xFF);
    if (green != nullptr) *green = static_cast<int>((scale >> 8) & 0xFF);
    if (blue != nullptr) *blue = static_cast<int>(scale & 0xFF);
    return 0;
}

int SetBlendGraph(int graph, int border, int range) {
    DrawState& s = GetDrawState();
    border = ClampByte(border);
    range = ClampByte(range);
    if (s.blendGraph == graph && s.blendGraphBorder == border && s.blendGraphRange == range) return 0;
    GraphRecord* record = nullptr;
    if (graph != -1) {
        record = GetGraphRecord(graph);
        if (record == nullptr) return -1;
    }
    s.blendGraph = graph;
    WaitWhileInactive();
    s.blendGraphBorder = border;
    s.blendGraphRange = range;
    if (Is3DPathUp()) SetBlendTexture3D(record, border, range);
    BuildBlendRampTable(graph, border, range);
    return 0;
}

int SetDrawFilterModeImpl(int mode) {
    DrawState& s = GetDrawState();
    if (s.filterMode == static_cast<unsigned int>(mode)) return 0;
    s.filterMode = static_cast<unsigned int>(mode);
    if (Is3DPathUp()) SetTextureFilter3D(mode);
    return 0;
}

int GetDrawFilterMode() { return static_cast<int>(GetDrawState().filterMode); }

int GetTransparentColor() { return static_cast<int>(GetDrawState().transparentColor); }

int SetTransparentColor(int color) {
    GetDrawState().transparentColor = static_cast<unsigned int>(color) & 0xFFFFFF;
    return 0;
}

int SetWindowDrawRect(const RECT* rect) {
    GetDrawState().windowDrawRect = rect != nullptr ? *rect : RECT{0, 0, 0, 0};
    return 0;
}

int GetScreenSizeAndDepth(int* width, int* height, int* bits) {
    GetGraphDimensionsImpl(-4, width, height);
    if (bits != nullptr) *bits = GetScreenColorBits();
    return 0;
}

int GetGraphSettingsRecord() { return 0; }
