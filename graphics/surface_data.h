// Surface data: the reference-counted storage under every graph piece. A record owns either a DirectDraw surface
// (a texture or a standard off-screen surface) or a software image, optionally with a Z buffer, plus its colour key
// and a counted lock. 2D surfaces and 3D surfaces are rectangles of a record; they delete it when the last
// reference goes.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <stdint.h>

#include "graphics/color/memimg.h"

struct ColorFormat;

// Indices of the eight creation bytes that graphs and surface data share.
constexpr int kCreateTexture = 0;       // stored as Direct3D textures
constexpr int kCreateAlpha = 1;         // pixels carry alpha
constexpr int kCreateDrawValid = 2;     // may be a draw target
constexpr int kCreateSystemMemory = 3;  // kept in system memory
constexpr int kCreateAlphaTest = 4;     // colour-key testing on
constexpr int kCreateColorBits = 5;     // 16 or 32
constexpr int kCreateSingleChannel = 6; // one byte per pixel
constexpr int kCreatePalette = 7;       // keeps the 8-bit palette indices of its source
constexpr int kCreationByteCount = 8;

// Pixel-format indices of a record; textures use the row of the texture format table instead.
constexpr int kSurfaceFormatScreen = 9;
constexpr int kSurfaceFormatSoft16 = 10;  // + 1 with alpha, + 2 for 32 bits

constexpr int kSurfaceDataSlots = 65536;

struct SurfaceData {
    int checkId;
    int* lostFlag;  // set to 1 when the record is deleted
    unsigned char creation[kCreationByteCount];
    int software;     // 1: the pixels live in `image`
    int formatIndex;  // kSurfaceFormat* or a texture format row
    unsigned int zBufferOn;
    IDirectDrawSurface7* surface;
    MEMIMG image;
    IDirectDrawSurface7* zSurface;
    MEMIMG zImage;
    unsigned int transparentColor;  // 0x00RRGGBB
    uint16_t width, height;
    int refCount;
    unsigned int lockPitch;
    void* lockPointer;
    int lockCount;
};

// A new record with `refCount` references and its surface (or software image); -1 (logged) when the table is
// full, memory runs out or the surface cannot be made (nothing is left behind then).
int CreateSurfaceData(int refCount, int width, int height, unsigned int transparentColor,
                      const unsigned char creation[kCreationByteCount]);
// Releases the surfaces, sets the lost flag and frees the record. 0, or -1 for an invalid handle.
int DeleteSurfaceData(int handle);
// The new reference count, or -1 for an invalid handle. Neither deletes the record.
int AddSurfaceDataRef(int handle);
int ReleaseSurfaceDataRef(int handle);
SurfaceData* SurfaceDataToRecord(int handle);
// Makes the surface or software image when the record has none. 0 or -1.
int CreateSurfaceDataSurface(int handle);
// Releases the software images, or the Z surface and the surface. 0 or -1.
int ReleaseSurfaceDataSurface(int handle);
int SetSurfaceDataZBuffer(int handle, int on);
int SetSurfaceDataColorKey(int handle);
// -1 when the DirectDraw surface was lost (it is restored at once), else 0.
int CheckSurfaceDataLost(int handle);
// Locks the rectangle (null: all) and gives its first pixel and the pitch. 0; -2 when already locked (the first
// lock's pointer and pitch are returned and the count rises); -1 on failure. `format` (may be null) receives the
// layout of the pixels.
int LockSurfaceData(int handle, int* pitch, void** pointer, int writeOnly, const RECT* rect,
                    const ColorFormat** format);
// Lowers the lock count; the surface is unlocked when it reaches 0. 0, or -1 when not locked.
int UnlockSurfaceData(int handle, const RECT* rect);
// Fills the whole record (surface or software image) with one colour. 0 or -1.
int FillSurfaceData(int handle, int red, int green, int blue, int alpha);
// The layout of the record's pixels (texture row, software image or screen); null for an invalid handle.
const ColorFormat* GetSurfaceDataColorFormat(int handle);
// 1 when the record's DirectDraw surface lies in video memory, else 0 (also for software records).
int IsSurfaceDataInVideoMemory(int handle);

// Empties the table (graph management's start and end). Records still present are released first.
int ClearSurfaceDataTable();
// Live count, end mark and next check id, for the graph layer's tests.
void GetSurfaceDataTableState(int* live, int* endMark, int* nextCheckId);
