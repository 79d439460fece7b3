// Direct3D texture surfaces of graphs.
#pragma once

#include <windows.h>

int RestoreAllLostSurfaces3D();

struct GraphRecord;

// Per-graph operations of the Direct3D path, as the graph layer and the 2D back end call them.
int ClearSurfaceTable3D();  // 0 exactly when the Direct3D path is up
int CreateGraphTextures3D(GraphRecord* graph);
int DeleteGraphTextures3D(GraphRecord* graph);
int FillGraphSurfaces3D(GraphRecord* graph, int red, int green, int blue, int alpha);
// The surface data of a 3D surface and the piece's position inside it; -1 for an invalid handle.
int GetSurface3DPlacement(int handle, int* surfaceData, int* x, int* y);

struct GraphImage;
// The new graph's pieces become views of the parent's pieces over the rectangle (x, y, width, height).
int DeriveGraphTextures3D(int x, int y, int width, int height, GraphRecord* graph, const GraphRecord* parent);
// Every piece receives the image's part under it, the image's (x, y) lying at the graph's top-left.
int BltImageToGraph3D(int x, int y, GraphRecord* graph, const GraphImage* image, const GraphImage* alphaImage);
// The source rectangle of the image placed at (x, y) of the graph; pieces receive the overlapping part.
int BltImageRectToGraph3D(const RECT* sourceRect, int x, int y, GraphRecord* graph, const GraphImage* image,
                          const GraphImage* alphaImage);
// Restores every lost piece; -1 when any was lost (its pixels must be loaded again), else 0.
int RestoreLostSurfaces3D(GraphRecord* graph);
