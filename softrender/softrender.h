// The software renderer's image copies, rectangle fill and lines as the graphics layer calls them. They draw onto
// software images (the software screens, or DirectDraw surfaces locked and wrapped as images) with the drawing
// settings of the draw state.
#pragma once

#include <windows.h>
#include <stdint.h>

struct MEMIMG;

// One line of a line list: 24 bytes, six signed 32-bit fields.
struct SoftLineRecord {
    int32_t x1, y1, x2, y2;
    int32_t colour;
    int32_t parameter;  // written by callers, not used in drawing
};
static_assert(sizeof(SoftLineRecord) == 24, "line records are 24 bytes");

// Draws the whole source image with its top-left corner at (x, y) onto the destination, clipped to the draw area;
// with `transparent`, source pixels equal to the source's colour key are skipped. 0.
int SoftBlit(MEMIMG* destination, const MEMIMG* source, int x, int y, int transparent, const MEMIMG* blendGraph);
// Fills the rectangle (null: the whole image) with a pixel value of the image's own format. 0.
int SoftFillRect(MEMIMG* image, const RECT* rect, uint32_t colour);
// Draws the records as lines onto the image. 0.
int SoftDrawLines(MEMIMG* image, const SoftLineRecord* records, int count);

struct GraphRecord;
// The whole graph stretched into (x1, y1)-(x2, y2) on the draw target; x2 < x1 or y2 < y1 mirror that axis.
int DrawImageScaled(int x1, int y1, int x2, int y2, const GraphRecord* graph, int transparent, int intCoordinates,
                    int blendSource);
// A filled rectangle, and a rectangle outline whose right and bottom lines lie one pixel inside x2 and y2, on the
// draw target in the draw state's blend mode. colour is a pixel value of the screen format.
int DrawFilledBox(int x1, int y1, int x2, int y2, int colour);
int DrawBoxOutline(int x1, int y1, int x2, int y2, int colour);
// The graph rotated by the angle (radians) and scaled about its centre, the centre at (x, y); turn mirrors it.
int DrawImageRotated(float x, float y, double scale, double angle, const GraphRecord* graph, int transparent,
                     int turn);
// The graph's top-left, top-right, bottom-left and bottom-right corners go to points 1 to 4.
int DrawImageFourPoints(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                        const GraphRecord* graph, int transparent);
