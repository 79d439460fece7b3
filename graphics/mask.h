// The screen mask as the draw entries and the 2D back end reach it: its surface or software image and the two
// rectangle copies around a masked draw. Nothing in the game makes a mask, so these find none.
#pragma once

#include <windows.h>
#include <ddraw.h>

struct MEMIMG;
struct GraphImage;

IDirectDrawSurface7* GetMaskSurface();
MEMIMG* GetMaskMemImg();
int IsMaskSurfaceInVideoMemory();
// Copies the rectangle of the draw target (a surface, or a software image described as a GraphImage) into the mask.
int CopyToMaskSurface(const RECT* rect, IDirectDrawSurface7* sourceSurface, const GraphImage* sourceImage);
// Writes the mask colour over the pixels of the rectangle that the mask forbids.
int RebuildMaskSurfaceRect(const RECT* rect);
int FreeMaskScreen();
int ReleaseAllMaskData();
// The mask drawing request (0 or 1). Setting it fails (-1, nothing changed) while no mask exists.
int GetMaskDrawFlag();
int SetMaskDrawFlag(int on);
// Around a device loss: free the mask's buffers, and make them again.
int ReleaseMaskScreen();
int RestoreMaskScreen();
