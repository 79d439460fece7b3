// The draw state's setters and the draw entries' inner functions, as the rest of the runtime calls them. Every
// entry validates against the draw state, does the window, mask and movie side work, and hands the drawing to the
// Direct3D back end, the 2D back end or the software renderer, chosen by the graph's first creation byte.
#pragma once

#include <windows.h>

struct GraphRecord;

// ---- Draw target and draw area ----
int SetTargetScreenImpl(int target);  // -2 back screen, -4 front screen, or a graph handle
int GetTargetScreen();
// Recomputes the window rectangle the front screen is drawn through (it depends on the mask drawing flag). 0.
int RefreshWindowDrawRect();
// The draw area: corners ordered and clamped into the target; an empty area makes every draw return 0.
int SetViewportRectImpl(int left, int top, int right, int bottom);
int SaveDrawArea(RECT* out);
int SetWindowDrawRect(const RECT* rect);
// The screen size as GetGraphDimensions (-4) gives it, and the display's colour depth. 0.
int GetScreenSizeAndDepth(int* width, int* height, int* bits);

// ---- Blending, colour scale, filter ----
int SetBlendModeImpl(int mode, int parameter);
int GetBlendModeImpl(int* mode, int* parameter);
int SetDrawColorScaleImpl(int red, int green, int blue);
int SetDrawColorScaleRgb(unsigned int rgb);  // 0xRRGGBB
int GetDrawColorScaleImpl(int* red, int* green, int* blue);
// A blend graph (or -1 for none) with its border and range (each clamped to 0..255). 0, or -1 for a bad handle.
int SetBlendGraph(int graph, int border, int range);
int SetDrawFilterModeImpl(int mode);
int GetDrawFilterMode();
// The colour (0x00RRGGBB) that counts as transparent when a graph is made.
int GetTransparentColor();
int SetTransparentColor(int color);
// A setting word that nothing sets (0).
int GetGraphSettingsRecord();

// ---- Transforms (4x4 float matrices, row-major) ----
int SetWorldMatrix(const float* matrix);
int SetViewMatrix(const float* matrix);
int SetProjectionMatrix(const float* matrix);
int SetViewportMatrix(const float* matrix);  // stored and multiplied in, never sent to a device
// product := world x view x projection x viewport; also the transposed rotation part of the view matrix.
void UpdateTransformProduct();
void SetIdentityMatrix(float* matrix);
void MultiplyMatrix(float* out, const float* a, const float* b);  // out may alias neither input
void NormalizeVector(float* vector3);
// Left-handed look-at: eye, target and up are three floats each.
void BuildViewMatrix(float* matrix, const float* eye, const float* target, const float* up);
// Left-handed perspective; -1 (matrix untouched) when far and near nearly meet or the field of view is near 0.
int BuildPerspectiveMatrix(float* matrix, float fov, float nearPlane, float farPlane, float aspectHeightToWidth);
void BuildViewportMatrix(float* matrix, float width, float height);

// ---- Rectangle helpers (no lock) ----
// Clips the rectangle into the clip rectangle; a rectangle wholly outside ends with left = right or top = bottom.
int ClipRectImpl(RECT* rect, const RECT* clip);
void OrderRectCorners(RECT* rect);
void GetRectSize(const RECT* rect, int* width, int* height);

// ---- Draw entries (the back end's result, 0 when the draw area is empty, -1 for a bad handle) ----
int ClearTargetScreenImpl();
int DrawGraphAtImpl(int x, int y, int graph, int transparent);
// x2 < x1 or y2 < y1 mirror the picture on that axis.
int DrawGraphStretchedImpl(int x1, int y1, int x2, int y2, int graph, int transparent);
// The centre of the graph goes to (x, y); turn mirrors it left to right.
int DrawGraphRotatedImpl(int x, int y, double scale, double angle, int graph, int transparent, int turn);
int DrawGraphRotatedCore(float x, float y, double scale, double angle, int graph, int transparent, int turn);
// The graph's top-left, top-right, bottom-right and bottom-left corners go to points 1 to 4 (clockwise).
int DrawGraphFourPoints(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                        int transparent);
int DrawGraphMirroredImpl(int x, int y, int graph, int transparent);
// The part (srcX, srcY, width, height) of the graph with its top-left corner at (x, y); turn mirrors it.
int DrawGraphPartImpl(int x, int y, int srcX, int srcY, int width, int height, int graph, int transparent, int turn);
int DrawGraphStretchedPart(int x1, int y1, int x2, int y2, int srcX, int srcY, int srcWidth, int srcHeight,
                           int graph, int transparent);
// colour is a pixel value of the screen format.
int DrawRectangleImpl(int x1, int y1, int x2, int y2, int color, int fill);
int DrawRectangleFilled(int x1, int y1, int x2, int y2, int color);
int DrawRectangleOutline(int x1, int y1, int x2, int y2, int color);
// Draws a string with a font handle onto the draw target; 0 for a null or empty string.
int DrawStringWithFont(int x, int y, const char* text, int color, int font, int edgeColor, int flag);
int CaptureScreenToGraphImpl(int x1, int y1, int x2, int y2, int graph, int flag);
