// Graphs cut from graphs: a derived graph is a rectangle of another graph's storage, shared and counted rather
// than copied, so it stays drawable after its source is released. The game cuts its effect images this way.
#pragma once

// A new graph over (x, y, width, height) of the source graph; the rectangle is cut at the source's edges.
// Handle, or -1 for a bad source, a rectangle that starts outside it or has no size, or a failed derivation.
int DeriveSubGraphImpl(int x, int y, int width, int height, int sourceGraph);
