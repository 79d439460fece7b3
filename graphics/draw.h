// The draw state and the draw entries' inner functions, as the rest of the runtime calls them.
#pragma once

#include <windows.h>

int SetTargetScreenImpl(int target);  // -2 back screen, -4 front screen, or a graph handle
int GetTargetScreen();
int ClearTargetScreenImpl();
int SetBlendModeImpl(int mode, int parameter);
int GetBlendModeImpl(int* mode, int* parameter);
int SetDrawColorScaleImpl(int red, int green, int blue);
int GetDrawColorScaleImpl(int* red, int* green, int* blue);
int SetViewportRectImpl(int left, int top, int right, int bottom);
int SaveDrawArea(RECT* out);
// The colour (0x00RRGGBB) that counts as transparent when a graph is made.
int GetTransparentColor();
int SetTransparentColor(int color);
int DrawGraphAtImpl(int x, int y, int graph, int transparent);
int DrawGraphStretchedImpl(int x1, int y1, int x2, int y2, int graph, int transparent);
// Draws a string with a font handle onto the draw target; 0 for a null or empty string.
int DrawStringWithFont(int x, int y, const char* text, int color, int font, int edgeColor, int flag);
