// Bringing graphs and the screen system back after a device loss or a display change: how a graph remembers its
// source (file name, load directory, position in the source image, restore parameter), the upload that fills it,
// the installed restore function (by default the built-in reload from files) and the whole restore sequence.
#pragma once

#include <windows.h>

struct GraphImage;

typedef int (*GraphRestoreFunction)();

int SetGraphRestoreCallback(GraphRestoreFunction function);  // null installs the built-in one
int HasGraphRestoreCallback();
// The built-in restore function: reloads every graph marked for reload from its file, loading a file once for
// graphs cut from it one after another. 0.
int RestoreGraphsCallback();
// Marks every live graph for reload, runs the installed restore function and makes the fonts again. 0.
int MarkAllGraphsForReload();
// Restores the graph's lost surfaces (and its movie's). 0, or -1 for a bad handle.
int RestoreGraphSurfaces(int graph);
// Every live graph's lost surfaces. A lost surface has lost its pixels (and may be shared by several graphs), so
// when any was lost every graph is marked for reload and the restore function runs. 0.
int RestoreAllGraphSurfaces();
// The whole screen system again after the display was lost or changed: display object, surfaces, Direct3D,
// target, then every graph and font. 0.
int RestoreScreenSystem();

// Uploads the image (and alpha image) into every piece of the graph from (srcX, srcY) on and remembers the source
// for reloading. The upload's result, or -1 for a bad handle.
int SetGraphRestoreSource(const char* fileName, const GraphImage* image, const GraphImage* alphaImage, int srcX,
                          int srcY, int graph, int restoreParameter);
// Uploads the source rectangle of the image to (x, y) of the graph and remembers the name, the current directory,
// the rectangle's top-left corner as the source position and the parameter. The upload's result, or -1.
int SetGraphRestoreFile(const char* fileName, const GraphImage* image, const GraphImage* alphaImage,
                        const RECT* sourceRect, int x, int y, int graph, int restoreParameter);
