// The graphics entries the game calls: every one takes the runtime's API lock around its Impl twin
// (graphics/public_api.cpp). Handles are ints as the runtime issues them; -1 means failure.
#pragma once

#include <ddraw.h>

struct ColorFormat;

// Screen and colour format.
const DDPIXELFORMAT* GetScreenDDPixelFormat();
int RgbToScreenPixel(int red, int green, int blue);
int SetColorFormatFromMasks(ColorFormat* format, int bitDepth, unsigned int redMask, unsigned int greenMask,
                            unsigned int blueMask, unsigned int alphaMask);  // takes no lock
int FillDDPixelFormat(DDPIXELFORMAT* format, int bitCount, unsigned int redMask, unsigned int greenMask,
                      unsigned int blueMask, unsigned int alphaMask);  // takes no lock

// Presenting and the draw target.
int PresentBackScreen2D();
int PresentBackScreenUnpaced();  // as above, never waiting for the frame interval or the vertical blank
int ClearTargetScreen();
int SetTargetScreen(int target);  // -2 back screen, -4 front screen, or a graph handle

// Graphs.
int CreateEmptyGraph(int width, int height, int flag);
int ReleaseGraph(int graph, int logFlag);
int ReleaseAllGraphs(int logFlag);
int LoadGraphFromFile(const char* path, int flag);
int DeriveSubGraph(int x, int y, int width, int height, int sourceGraph);
int GetGraphDimensions(int graph, int* width, int* height);
int CaptureScreenToGraph(int x1, int y1, int x2, int y2, int graph, int flag);

// Drawing.
int DrawGraphAt(int x, int y, int graph, int transparent);
int DrawGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent);
int DrawGraphRotated(int centreX, int centreY, double scale, double angle, int graph, int transparent, int mirror);
int DrawGraphMirrored(int x, int y, int graph, int transparent);
int DrawGraphPart(int destX, int destY, int srcX, int srcY, int width, int height, int graph, int transparent,
                  int mirror);
int DrawRectangle(int x1, int y1, int x2, int y2, int color, int fill);

// Draw state.
int SetDrawFilterMode(int mode);
int SetBlendMode(int mode, int parameter);
int SetDrawColorScale(int red, int green, int blue);
int GetDrawColorScale(int* red, int* green, int* blue);
int SetViewportRect(int x1, int y1, int x2, int y2);
int ClipRect(RECT* rect, const RECT* clip);  // takes no lock
