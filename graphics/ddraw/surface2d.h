// 2D surfaces: on the DirectDraw path and in software mode a graph is one 2D surface, a rectangle of a reference-
// counted surface-data record. This header holds the 2D-surface table and the per-graph 2D operations the graph
// layer calls (create, derive, delete, upload, restore, fill, screen copy); drawing is in graphics/ddraw/blit2d.h.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "graphics/surface_data.h"

struct GraphRecord;
struct GraphImage;

constexpr int kSurface2DSlots = 32768;

struct Surface2D {
    int checkId;
    int* deletedFlag;        // set to 1 when the surface is deleted
    int16_t value1, value2;  // carried, not read here
    int16_t x, y;            // the rectangle inside its surface data
    int16_t width, height;
    uint32_t attribute;
    int surfaceData;  // one counted reference
};

// ---- The 2D-surface table ----
// A new 2D surface; with shareFrom it takes another reference on that surface's data, otherwise it makes new
// surface data of width x height with the creation bytes and the draw state's transparent colour. -1 (logged).
int AddSurface2D(const Surface2D* shareFrom, int width, int height, int value1, int value2, uint32_t attribute, int x,
                 int y, const unsigned char creation[kCreationByteCount]);
// Drops the data reference (deleting the data with the last one) and frees the record; 0 also for a bad handle.
int DeleteSurface2D(int handle);
int DeleteAllSurface2D();
int SetSurface2DDeletedFlagPtr(int handle, int* flag);
Surface2D* Surface2DToRecord(int handle);
// Around a device loss: drop and re-make the DirectDraw surfaces of every 2D surface.
int ReleaseAllSurface2DSurfaces();
int RestoreAllSurface2DSurfaces();
// Writes the rectangle (srcX, srcY, width, height) of the image (and the same rectangle of the optional alpha
// image) into the 2D surface at (dstX, dstY) of the surface's own rectangle, clipped to both. 0 or -1.
int TransferToSurface2D(const GraphImage* image, const GraphImage* alphaImage, int srcX, int srcY, int width,
                        int height, int dstX, int dstY, int handle);
// Live count, end mark and next check id of the table.
void GetSurface2DTableState(int* live, int* endMark, int* nextCheckId);

// ---- Per-graph operations (pieces are 2D-surface handles) ----
int ClearSurfaceTable2D();
int CreateGraphSurface2D(GraphRecord* graph);
// The graph's piece shares the parent's first piece's surface data at (x, y) inside the parent.
int DeriveGraphSurface2D(GraphRecord* graph, int x, int y, int width, int height, const GraphRecord* parent);
int DeleteGraphSurfaces2D(GraphRecord* graph);
// Every piece receives the image's part under it, the image's (x, y) lying at the graph's top-left.
int BltImageToGraph2D(const GraphImage* image, const GraphImage* alphaImage, int x, int y, GraphRecord* graph);
// The source rectangle of the image placed at (x, y) of the graph; each piece gets the overlapping part.
int BltImageRectToGraph2D(const GraphImage* image, const GraphImage* alphaImage, const RECT* sourceRect, int x, int y,
                          GraphRecord* graph);
// Restores each piece's lost surface; non-zero when any was lost (its pixels must be loaded again).
int RestoreLostSurfaces2D(GraphRecord* graph);
int RestoreAllLostSurfaces2D();
// Draws piece 0 at (x, y) on the draw target; coordinates are rounded unless intCoordinates is 1.
int DrawGraphPiece2D(float x, float y, const GraphRecord* graph, int transparent, int intCoordinates);
// Copies the draw target's rectangle, exactly the graph's size, into the graph. 0 or -1.
int CopyScreenToGraph2D(int x1, int y1, int x2, int y2, GraphRecord* graph);
int FillGraphSurfaces2D(GraphRecord* graph, int red, int green, int blue, int alpha);
