// Capture of the mixed output into a WAV file: 16-bit stereo 44100 Hz frames are appended after
// a 46-byte header that is written once the capture finishes.
#pragma once

#include <stdint.h>

// Opens (replaces) the file and reserves the header. 0 / -1 (already capturing or cannot open).
int StartWaveCapture(const char* path);
// Appends interleaved stereo frames. 0 / -1 when not capturing or the write fails.
int WriteWaveCaptureSamples(const int16_t* frames, int frameCount);
// Writes the header, closes the file and ends the capture. 0, or -1 when not capturing.
int FinishWaveCapture();
int IsWaveCapturing();
