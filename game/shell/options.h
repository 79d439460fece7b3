// The game's settings for one run: plain program-wide values, set to their defaults at start and changed only by
// the options screen. Nothing is saved. Main thread only.
#pragma once

extern int cpuLevel;               // computer strength 0..2
extern bool fullScreenMode;        // false: window
extern bool randomSpecialPieces;   // true: a special piece at random; false: every fifth piece
extern bool skillCutInOff;         // true: short skill wait without the skill-name banner
extern int optionVolume;           // 0..100
extern double masterVolume;        // optionVolume / 100; every volume the game sets is 255 x this, truncated

// The volume level (0..255) the game gives a sound: 255 x masterVolume, truncated toward zero.
int masterVolumeLevel();

// Puts every option back to its start value (tests that change options restore them with this).
void resetOptionValues();
