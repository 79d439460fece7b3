// Folder graphics/d3d/: the Direct3D 7 drawing back end (device and vertex batch, textures and 3D surfaces, draw
// primitives, render states, screen capture). It may call the graph layer, graphics/color/,
// graphics/image/, the display device and 2D surfaces of graphics/ddraw/, softrender/ and the runtime core.
//
// The Direct3D 7 back end as the rest of the graphics layer calls it: start and end after a screen mode is set,
// device loss, the two calls every direct surface access makes first (send the pending vertices, close the
// scene), the texture format table, and what the draw state, draw entries and screen capture hand to the back end.
// The back end's own modules talk to each other through graphics/d3d/d3d_*.h.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <stdint.h>

#include "graphics/color/color_format.h"

int InitDirect3D();       // 0, or -1 when it is already up or the device cannot be used
int TerminateDirect3D();  // 0, or -1 when the back end was not up
int FlushVertexBatch3D();
int EndCurrentScene3D();
// The device interface of the current device record, or null.
struct IDirect3DDevice7;
IDirect3DDevice7* GetCurrentDevice3D();
// Releases the device and its textures, then the Direct3D object (device loss); -1 before the back end started.
int ReleaseDirect3DObject();
// Queries the object again and re-creates the device and its textures; 0 before the back end started.
int AcquireDirect3DObject();

// ---- Texture formats (what surface data, fonts and the 2D back end read of the Direct3D back end) ----
// One row of the texture format table: the DirectDraw pixel format and the same layout as a ColorFormat.
struct TextureFormatRow {
    DDPIXELFORMAT pixelFormat;
    ColorFormat format;
};
// Row 0..8 of the table for a record's eight creation bytes.
int GetTextureFormatIndex(const unsigned char* creation);
// The row, or null while it is empty (no Direct3D device) or outside 0..8.
const TextureFormatRow* GetTextureFormatRow(int row);
// The ColorFormat of a row, or of the row a record's creation bytes pick; null while empty.
const ColorFormat* GetTextureColorData(int row);
const ColorFormat* TextureFormatRowFromFlags(const unsigned char* creation);
// The ColorFormat of the row GetTextureFormatIndex picks for these four values (the font cache's glyph textures).
const ColorFormat* GetFontTextureFormat(int alphaChannel, int alphaTest, int is32Bit, int renderTarget);
// The Z-buffer pixel format found by enumeration, or null before one was found.
const DDPIXELFORMAT* GetZBufferFormat();

// ---- What the draw state, draw entries and restore call ----
struct GraphRecord;
// Draw colour := (blend mode not 0 ? blend parameter : 255) << 24 | colour scale.
int UpdateDrawColor3D();
// Binds the blend graph's first texture (null unbinds) with its level and border width.
int SetBlendTexture3D(const GraphRecord* blendGraph, int level, int borderWidth);
int SetTextureFilter3D(int mode);  // 0 point, 1 bilinear
// 4 x 4 row-major matrices; no cache, no flush.
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
// x2 < x1 or y2 < y1 mirrors that axis.
int DrawGraphStretched3D(float x1, float y1, float x2, float y2, const GraphRecord* graph, int transparent,
                         int intCoordinates);
// The graph's centre goes to (x, y); turn mirrors it left to right.
int DrawGraphRotated3D(float x, float y, double scale, double angle, const GraphRecord* graph, int transparent,
                       int turn);
// Corners in the order top-left, top-right, bottom-left, bottom-right.
int DrawGraphQuad3D(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, const GraphRecord* graph,
                    int transparent);
int DrawGraphQuadF3D(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                     const GraphRecord* graph, int transparent);
// colour is a pixel value of the screen format.
int DrawBoxFilled3D(int x1, int y1, int x2, int y2, int colour);
int DrawBoxOutline3D(int x1, int y1, int x2, int y2, int colour);
// A string through the font's glyph textures (with the font module).
int DrawStringToTarget3D(int x, int y, const char* text, int colour, int font, int edgeColour, int vertical);
// Copies the draw target's rectangle into a texture graph (desktop 0: in a window the desktop is read).
int CopyScreenToGraph3D(int x1, int y1, int x2, int y2, GraphRecord* graph, int desktop);
// Writes `value` into the bits of every pixel of the rectangle that belong to no channel (after a screen copy
// into a surface whose layout has such bits). 0.
int FillUnusedPixelBits(const RECT* rect, void* pixels, int pitch, const ColorFormat* format, uint32_t value);
