// Small sound helpers shared by the menus and the story. The runtime's playing test answers 1 (playing), 0 (not)
// or -1 (no such handle): only 1 counts as playing, so a sound that failed to load never holds a scene up.
#pragma once

#include "sound/sound.h"

inline bool soundIsPlaying(int handle) { return IsSoundHandlePlaying(handle) == 1; }

// Starts a music handle looping from the top unless it already plays.
inline void keepMusicPlaying(int handle) {
    if (!soundIsPlaying(handle)) PlaySoundHandle(handle, 3, 1);
}

// An effect from its start, in the background.
inline void playEffect(int handle) { PlaySoundHandle(handle, 1, 1); }

// A fade value (0..255 and a little above) times the master volume, as a 0..255 level.
int fadedVolume(int fade);
