// Copying a rectangle of the draw target (or, in a window, of the desktop) into a graph whose pieces are textures.
// Reading a screen into a texture works differently from card to card: five methods are tried in a fixed order, and
// the one that last worked is remembered separately for graphs with and without alpha.
#pragma once

struct GraphRecord;

// Every method: 0 on success, -1 on failure (after its log line).
using DrawScreenGraphFunction = int (*)(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop);
int G_D3D_GetDrawScreenGraphFunction1(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop);
int G_D3D_GetDrawScreenGraphFunction2(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop);
int G_D3D_GetDrawScreenGraphFunction3(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop);
int G_D3D_GetDrawScreenGraphFunction4(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop);
int G_D3D_GetDrawScreenGraphFunction5(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop);

constexpr int kScreenCopyMethodCount = 5;
// The methods in trial order (5, 1, 3, 2, 4), ended by null. Writable so that a test can watch or fail them.
DrawScreenGraphFunction* DrawScreenGraphFunctionTable();
