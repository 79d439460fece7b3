// 3D surfaces: on the Direct3D path a graph is a grid of power-of-two textures, each piece a rectangle of a
// reference-counted surface-data record with its four corner vertices prebuilt, so that a draw primitive only adds
// the draw position. The per-graph operations the graph layer calls are declared in graphics/d3d/surface3d.h.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "graphics/d3d/d3d_device.h"
#include "graphics/d3d/surface3d.h"

struct ColorFormat;
struct GraphImage;
struct SurfaceData;

constexpr int kSurface3DSlots = 65536;
constexpr int kMaxGraphTexturePieces = 64;

struct Surface3D {
    int checkId;
    int* lostFlag;           // set to 1 when the record is deleted
    int16_t graphX, graphY;  // position of the piece in its graph
    uint16_t dataX, dataY;   // position inside the surface data (non-zero for derived pieces)
    int16_t sourceX, sourceY;  // position in the source image
    int16_t width, height;     // the piece's size, clipped to the graph
    VertexTex corners[4];      // top-left, top-right, bottom-left, bottom-right
    uint8_t cornerFlags[4];    // 1: on or above the graph's diagonal from bottom-left to top-right
    int graph;
    int surfaceData;
};

// Splits a length into power-of-two texture sizes; returns the number of pieces (entries beyond `capacity` are
// counted but not written). splitMode 1 lets a piece grow to the maximum texture size.
int SplitTextureSizes(int length, int* sizes, int capacity, int splitMode);

// A new piece: without a parent it makes a texture surface-data record of textureWidth x textureHeight; with one it
// shares the parent's record, and the parent's surface-data and source-image positions are added to its own.
int AddSurface3DData(int textureWidth, int textureHeight, int graphX, int graphY, int width, int height, int sourceX,
                     int sourceY, int graph, const Surface3D* parent, int dataX, int dataY,
                     const unsigned char* creation);
int DeleteSurface3D(int handle);
Surface3D* GetSurface3D(int handle);
// Deletes every live 3D surface. ClearSurfaceTable3D does the same, only while the Direct3D object exists.
int ReleaseAllSurfaces3D();
// Device loss: drop, and later re-make, the texture of every live 3D surface (the records stay).
int ReleaseAllSurface3DTextures();
int RecreateAllSurface3DTextures();
// Live count, high-water mark and next check id of the table.
void GetSurface3DTableState(int* live, int* highWater, int* nextCheckId);

// The piece's corner flags for a graph of the given size.
void ComputeCornerFlags3D(Surface3D* piece, int graphWidth, int graphHeight);
// The texture surface and the surface-data record of a piece (null / null for an invalid one).
IDirectDrawSurface7* Surface3DTexture(const Surface3D* piece);

// Copies the source rectangle of the image (and of its alpha image) into the piece's texture at (destX, destY)
// inside the surface data. useSourceAlpha: key-coloured pixels become transparent when the texture has alpha and
// neither an alpha image nor source alpha is given.
int UploadTexture3D(const GraphImage* image, const GraphImage* alphaImage, const RECT* sourceRect, int destX,
                    int destY, int handle, int useSourceAlpha);

int LockSurface3D(int handle, int* pitch, void** pointer, int writeOnly, const RECT* rect,
                  const ColorFormat** format);
int UnlockSurface3D(int handle, const RECT* rect);

// A system-memory texture of the data's size in `format`, or null; `result` (may be null) gets the creation's
// HRESULT, DDERR_GENERIC when there is no display object.
IDirectDrawSurface7* CreateSystemTexture(const SurfaceData* data, const DDPIXELFORMAT& format, HRESULT* result);
