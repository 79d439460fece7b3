// The runtime's public header: every function the game calls. Each takes the runtime's one API lock around
// its inner function (named like it with Impl appended) and returns that function's result; the game
// includes only this header.
#pragma once

#include "graphics/graphics.h"
#include "input/input.h"
#include "sound/sound.h"

// Start-up and shutdown. StartUpLibrary: 0, or -1 when start-up failed. ShutDownLibrary: the shutdown
// sequence's result; the lock is taken apart afterwards (a later call builds it again).
int StartUpLibrary();
int ShutDownLibrary();

// One message pump per frame: 0, or -1 once the application is quitting.
int ProcessMessage();

// Window settings (called before start-up, or any time after).
int ChangeWindowMode(int windowed);  // 1 window, 0 full screen
int SetWindowCaption(const char* caption);
int SetWindowIcon(int iconId);  // resource id; 0 = the system's default icon
int SetCursorVisible(int flag);

// flag 0 switches the log file and the debugger output off.
int SetLogFileEnabled(int flag);
// Extension of packed archives (under 64 characters; empty restores "QVA").
int ArchiveSetExtension(const char* extension);

// Milliseconds of the multimedia timer.
int GetMillisecondCount();
// Uniform random integer 0..max.
int RandomInt(int max);
int RandomSetSeed(int seed);
