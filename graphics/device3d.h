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
