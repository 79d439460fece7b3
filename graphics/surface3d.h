// Direct3D texture surfaces of graphs.
#pragma once

int RestoreAllLostSurfaces3D();

struct GraphRecord;

// Per-graph operations of the Direct3D path, as the graph layer and the 2D back end call them.
int ClearSurfaceTable3D();  // 0 exactly when the Direct3D path is up
int CreateGraphTextures3D(GraphRecord* graph);
int DeleteGraphTextures3D(GraphRecord* graph);
int FillGraphSurfaces3D(GraphRecord* graph, int red, int green, int blue, int alpha);
// The surface data of a 3D surface and the piece's position inside it; -1 for an invalid handle.
int GetSurface3DPlacement(int handle, int* surfaceData, int* x, int* y);
