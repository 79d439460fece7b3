// The decisions of movie playback that need no stream: whether a draw asks the stream for a frame, and where an
// overlay frame lands on the screen. Kept apart so they can be checked without a clock or a display.
#pragma once

#include <windows.h>
#include <stdint.h>

// What a draw of a movie graph does about the stream.
enum class MovieUpdateStep {
    kNothing,         // no frame is due (or the pending one is not in yet)
    kCollectPending,  // the asked-for frame has arrived: take it
    kWaitPending,     // forced while a frame is pending: wait for it, then take it
    kRequestFrame,    // ask the stream for a new frame
};

struct MovieDueInput {
    int force;
    int playing;         // the movie's playing flag
    int running;         // the stream reports itself running
    int64_t streamTime;  // stream time now and at the last copy (100 ns units)
    int64_t lastFrameTime;
    uint32_t nowMs;  // millisecond clock now and at the last copy
    uint32_t lastCopyMs;
    int pending;   // an asynchronous update is out
    int eventSet;  // its event has been signalled
};

// Frames are asked at most every 18 ms while the stream time stands still.
constexpr uint32_t kMovieMinCopyIntervalMs = 18;

MovieUpdateStep DecideMovieUpdate(const MovieDueInput& in);

// Alignment the display asks of overlay rectangles (0 or 1: none).
struct OverlayAlignment {
    int sourceBoundary, sourceSize, destBoundary, destSize;
};

// Overlay placement of a width x height frame drawn at (x, y) in an integer scale, in a window whose client area
// lies at `client` on the screen: the destination moved by the client origin and clipped to the client area, the
// source cut by the same amounts divided by the scale, then both aligned. False when nothing is left to show.
bool PlaceMovieOverlay(int x, int y, int scale, int width, int height, const RECT& client,
                       const OverlayAlignment& align, RECT* source, RECT* dest);
