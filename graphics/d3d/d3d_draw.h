// Direct3D draw primitives beyond those the draw entries call (declared in graphics/d3d/device3d.h): one piece onto a
// free quadrilateral, the indexed vertex grid it falls back to, copying states between device records, and the
// viewport reset of the mask code.
#pragma once

#include "graphics/d3d/d3d_device.h"

// One piece onto a quadrilateral (corners top-left, top-right, bottom-left, bottom-right); a parallelogram goes
// into the batch as two triangles, any other shape through an 8 x 8 vertex grid.
int DrawQuadPiece3D(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int piece);
// Draws a grid of columns x rows VertexTex as indexed triangle strips, at most 1000 indices per call.
int DrawVertexGrid3D(const VertexTex* vertices, int columns, int rows, int device);
constexpr int kGridIndexLimit = 1000;

int CopyDeviceState3D(int from, int to);
// maskFlag 1: the mask screen becomes the render target; 0: the draw target's surface.
int ResetScreenViewport3D(int maskFlag);
