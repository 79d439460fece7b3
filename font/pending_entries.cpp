// Font entries that the on-screen log calls, in their least form until the font subsystem is built: no
// font can be made yet, so every handle is invalid. Each function leaves this file when the font
// subsystem implements it.
#include "font/font.h"

int CreateFontToHandle(const char*, int, int, int, int, int, int, int, int) { return -1; }

int SetFontDeletedFlagPtr(int, int*) { return -1; }

int DeleteFontHandle(int) { return -1; }

// The display-mode change keeps the default font's settings only when its handle is valid; none is yet.
int IsFontHandleValid(int) { return 0; }

int GetBaseFontHandle() { return -1; }

int GetFontInfoToHandle(int, char*, int*, int*) { return -1; }

int SetBaseFontSize(const char*, int, int) { return 0; }

// Graphics start-up and shutdown make and end the default font; there is none to make yet.
int ResetFonts() { return 0; }
int EndFonts() { return 0; }

// Graph restore re-makes every live font; there is none.
int RecreateAllFonts() { return 0; }
int GetFontHandleHeight(int) { return -1; }
int IsFontCachedAsTexture(int) { return 0; }
int MakeFontCacheGraph(int) { return -1; }
