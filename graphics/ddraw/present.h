// Presenting the back screen once a frame (flip in full screen, clipped copy into the window, or a DIB transfer in
// software mode), paced by the vertical blank; the generic surface-to-surface copy, the present counter, and the
// software-mode pair that keeps the front-screen image and the window in step.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <stdint.h>

int PresentBackScreen2DImpl();
// The same present without pacing: no wait for the frame interval or the vertical blank (the loading screen).
int PresentBackScreenUnpacedImpl();
// Presents that waited for the frame interval or a vertical blank since start; unpaced presents never count.
uint32_t GetPacedPresentWaitCount();
// Also the window procedure's repaint.
int CopyBackScreenToWindow();
// Waits for `count` vertical blanks (0: until the next one begins). 0, or -1 without a display object or when
// the program is ending.
int WaitVerticalBlankCount(int count);
// method -1: the faster of the two measured at the last mode change; 0 BltFast; 1 GDI BitBlt.
int SurfaceCopy(IDirectDrawSurface7* dst, IDirectDrawSurface7* src, int x, int y, const RECT* srcRect, int method);
// The window's client area on the screen at the screen size (unshifted with the temporary primary).
int GetWindowScreenRect(RECT* rect);

int ResetFlipCounter();
int CountFlip();
uint64_t GetFlipCount();

// Software drawing on the front screen: copies a rectangle of the front-screen image into the window, and (when
// the window shows a newer back screen) reads the window back into the front-screen image first.
int PresentMemImgRect(const RECT* rect);
int CaptureWindowToBackBuffer();
// 1 while the window shows a back screen newer than the front-screen image.
int IsWindowShowingBackScreen();
// Milliseconds the last software-mode copy to the window took.
int GetLastCopyDuration();
