// The per-frame services and the end steps of stream sounds and music handles that the message pump, the
// window procedure and shutdown call.
#pragma once

#include <windows.h>

int RefillAllStreamBuffers();  // every pump pass
int ServiceMusicPlayback();    // every pump pass
int StopCurrentMusic();        // shutdown: stops what the play-music entry started
// The window procedure's MCI notification (MM_MCINOTIFY).
int OnMciNotify(WPARAM wparam, LPARAM lparam);
