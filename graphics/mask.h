// The screen mask as the draw entries and the 2D back end reach it: its surface or software image and the two
// rectangle copies around a masked draw. Nothing in the game makes a mask, so these find none.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <stdint.h>

struct MEMIMG;
struct GraphImage;

// Makes the mask bytes (cleared) and the mask surface or software image of the screen's size, each when asked and
// absent. 0, or -1 (with a log line, nothing made) when the bytes cannot be had; a surface that cannot be made is
// fatal.
int AllocMaskScreen(int makeBytes, int makeSurface);
IDirectDrawSurface7* GetMaskSurface();
MEMIMG* GetMaskMemImg();
int IsMaskSurfaceInVideoMemory();
// Copies the rectangle of the draw target (a surface, or a software image described as a GraphImage) into the mask.
// (sourceX, sourceY) is where target pixel (0, 0) lies on the source surface.
int CopyToMaskSurface(const RECT* rect, IDirectDrawSurface7* sourceSurface, const GraphImage* sourceImage,
                      int sourceX = 0, int sourceY = 0);
// Writes the mask colour over the pixels of the rectangle that the mask forbids.
int RebuildMaskSurfaceRect(const RECT* rect);
int FreeMaskScreen();
// The mask data table: only emptied here. 0, or -1 for a handle that names no live record.
int ReleaseMaskData(int handle);
int ReleaseAllMaskData();
// The mask drawing request (0 or 1). Setting it fails (-1, nothing changed) while no mask exists.
int GetMaskDrawFlag();
int SetMaskDrawFlag(int on);
// Around a device loss: drop the mask's surface or image (the bytes stay), and make them again.
int ReleaseMaskScreen();
int RestoreMaskScreen();

// For tests only (nothing public makes or fills a mask): a mask of the screen's size with the drawing flag and the
// reverse flag as given; the mask bytes and their row pitch; a mask data record holding a tracked block.
int MakeMaskScreenForTest(int drawOn, int reverse);
uint8_t* GetMaskBytesForTest(int* pitch);
int AddMaskDataForTest(void* data);
