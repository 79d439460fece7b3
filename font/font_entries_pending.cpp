// Minimal stand-ins for the font entries the on-screen log calls, so the runtime links and
// runs before the font subsystem exists: no font can be made yet. The font subsystem replaces
// this file.
#include "font/font.h"

int CreateFontToHandle(const char*, int, int, int, int, int, int, int, int) { return -1; }

int SetFontDeletedFlagPtr(int, int*) { return -1; }

int DeleteFontHandle(int) { return -1; }
