// The Direct3D 7 back end as the rest of the graphics layer calls it: start and end after a screen mode is set, and
// the two calls every direct surface access makes first (send the pending vertices, close the scene).
#pragma once

#include <windows.h>
#include <ddraw.h>

#include "graphics/color_format.h"

int InitDirect3D();       // 0, or -1 when it is already up or the device cannot be used
int TerminateDirect3D();  // 0
int FlushVertexBatch3D();
int EndCurrentScene3D();
// The device interface of the current device record, or null.
struct IDirect3DDevice7;
IDirect3DDevice7* GetCurrentDevice3D();

// ---- Texture formats (what surface data and the 2D back end read of the Direct3D back end) ----
// One row of the texture format table: the DirectDraw pixel format and the same layout as a ColorFormat.
struct TextureFormatRow {
    DDPIXELFORMAT pixelFormat;
    ColorFormat format;
};
// Row 0..8 of the table for a record's eight creation bytes.
int GetTextureFormatIndex(const unsigned char* creation);
// The row, or null while the table is empty (no Direct3D device).
const TextureFormatRow* GetTextureFormatRow(int row);
// The Z-buffer pixel format found by enumeration, or null before one was found.
const DDPIXELFORMAT* GetZBufferFormat();

// ---- What the draw state, draw entries and restore call (their forms until the back end lands are minimal) ----
struct GraphRecord;
// Releases the device and its textures, then the Direct3D object (device loss); -1 before the back end started.
int ReleaseDirect3DObject();
// Queries the object again and re-creates the device and its textures; 0 before the back end started.
int AcquireDirect3DObject();
// Draw colour := (blend mode not 0 ? blend parameter : 255) << 24 | colour scale.
int UpdateDrawColor3D();
// Binds the blend graph's first texture (null unbinds) with its level and border width.
int SetBlendTexture3D(const GraphRecord* blendGraph, int level, int borderWidth);
int SetTextureFilter3D(int mode);  // 0 point, 1 bilinear
int SetWorldTransform3D(const float* matrix);
int SetViewTransform3D(const float* matrix);
int SetProjectionTransform3D(const float* matrix);
// The device viewport over the draw area (moved by the window draw origin); -1 for an empty rectangle.
int SetDrawAreaViewport3D(const RECT* area);
// -4 front screen, -2 back screen, else a graph handle. 0 or -1.
int SelectDrawTarget3D(int target);
// Clears a graph draw target to the background colour (screens are cleared by the 2D back end).
int FillDrawTarget3D();
// The draw primitives. intCoordinates 1: the coordinates are whole pixels.
int DrawGraph3D(float x, float y, const GraphRecord* graph, int transparent, int intCoordinates);
int DrawGraphStretched3D(float x1, float y1, float x2, float y2, const GraphRecord* graph, int transparent,
                         int intCoordinates);
int DrawGraphRotated3D(float x, float y, double scale, double angle, const GraphRecord* graph, int transparent,
                       int turn);
// Corners in the order top-left, top-right, bottom-left, bottom-right.
int DrawGraphQuadF3D(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                     const GraphRecord* graph, int transparent);
// colour is a pixel value of the screen format.
int DrawBoxFilled3D(int x1, int y1, int x2, int y2, int colour);
int DrawBoxOutline3D(int x1, int y1, int x2, int y2, int colour);
int DrawStringToTarget3D(int x, int y, const char* text, int colour, int font, int edgeColour, int vertical);
// Copies the draw target's rectangle into a texture graph (desktop 0: in a window the desktop is read).
int CopyScreenToGraph3D(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop);
