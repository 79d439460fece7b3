// Movie playback decisions without a stream: the due-frame rule and the overlay placement arithmetic.
#include "graphics/movie/movie_rules.h"

MovieUpdateStep DecideMovieUpdate(const MovieDueInput& in) {
    if (in.force) return in.pending ? MovieUpdateStep::kWaitPending : MovieUpdateStep::kRequestFrame;
    if (!in.playing || !in.running) return MovieUpdateStep::kNothing;
    if (in.streamTime == in.lastFrameTime && in.nowMs - in.lastCopyMs < kMovieMinCopyIntervalMs) {
        return MovieUpdateStep::kNothing;
    }
    if (in.pending) return in.eventSet ? MovieUpdateStep::kCollectPending : MovieUpdateStep::kNothing;
    return MovieUpdateStep::kRequestFrame;
}

namespace {

int RoundUpTo(int value, int step) { return step > 1 ? (value + step - 1) / step * step : value; }
int RoundDownTo(int value, int step) { return step > 1 ? value / step * step : value; }

// Moves the left edge up to the boundary and cuts the width down to the size step; false when nothing is left.
bool AlignSpan(LONG* left, LONG* right, int boundary, int size) {
    const int start = RoundUpTo(*left, boundary);
    const int width = RoundDownTo(*right - start, size);
    if (width <= 0) return false;
    *left = start;
    *right = start + width;
    return true;
}

}  // namespace

bool PlaceMovieOverlay(int x, int y, int scale, int width, int height, const RECT& client,
                       const OverlayAlignment& align, RECT* source, RECT* dest) {
    if (scale < 1) scale = 1;
    RECT d = {client.left + x, client.top + y, client.left + x + scale * width, client.top + y + scale * height};
    RECT s = {0, 0, width, height};
    // What is cut from the destination is cut from the source in frame pixels.
    if (d.left < client.left) {
        s.left += (client.left - d.left) / scale;
        d.left = client.left;
    }
    if (d.top < client.top) {
        s.top += (client.top - d.top) / scale;
        d.top = client.top;
    }
    if (d.right > client.right) {
        s.right -= (d.right - client.right) / scale;
        d.right = client.right;
    }
    if (d.bottom > client.bottom) {
        s.bottom -= (d.bottom - client.bottom) / scale;
        d.bottom = client.bottom;
    }
    if (s.right - s.left <= 0 || s.bottom - s.top <= 0 || d.right - d.left <= 0 || d.bottom - d.top <= 0) {
        return false;
    }
    if (!AlignSpan(&s.left, &s.right, align.sourceBoundary, align.sourceSize)) return false;
    if (!AlignSpan(&d.left, &d.right, align.destBoundary, align.destSize)) return false;
    *source = s;
    *dest = d;
    return true;
}
