// The front-screen window timer: while the front screen is drawn through the temporary primary, a 17 ms window
// timer copies it onto the window's area of the primary. The 2D back end's target selection arms and kills it.
#pragma once

#include <windows.h>

// Copies the window's area of the primary into the temporary primary. 0, or -1 without those surfaces.
int SaveFrontScreenArea();
// Copies the temporary primary onto the window's area of the primary. 0, or -1 without those surfaces.
int PushFrontScreenArea();
void CALLBACK FrontScreenTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);
// Arms the 17 ms timer on the main window (0, or -1 without a window) / kills it (always 0).
int ArmFrontScreenTimer();
int KillFrontScreenTimer();
