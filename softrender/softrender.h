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
// The four lines of a rectangle outline going round clockwise, its right and bottom lines one pixel inside x2
// and y2, so each corner is drawn once, as the first point of a line.
void BuildBoxOutline(SoftLineRecord lines[4], int x1, int y1, int x2, int y2, int colour, int parameter);
// One line from (x1, y1) towards (x2, y2), the end point left out.
void SoftDrawLine(MEMIMG* image, int x1, int y1, int x2, int y2, uint32_t colour);
// The whole source stretched into the rectangle of the four corners x1, y1, x2, y2 (either order per axis; a
// swapped pair mirrors that axis), nearest texel.
void SoftBlitScaled(MEMIMG* destination, const MEMIMG* source, const int corners[4], int transparent,
                    const MEMIMG* blendGraph);

// One corner of a software triangle: destination pixel (x, y) and texel (u, v).
struct SoftVertex {
    int32_t x, y, u, v;
};
static_assert(sizeof(SoftVertex) == 16, "vertices are four 32-bit fields");
// One triangle, textured from `texture` or, without one, flat in `fillColour` (the destination's format).
void SoftDrawTriangle(MEMIMG* destination, const MEMIMG* texture, const SoftVertex vertices[3], int transparent,
                      const MEMIMG* blendGraph, uint32_t fillColour);
// The source rotated by `angle` (radians, clockwise on screen) and zoomed by `scale` about its centre, which lands
// on (centreX, centreY); `turn` mirrors it left to right first.
void SoftBlitRotated(MEMIMG* destination, const MEMIMG* source, int centreX, int centreY, float angle, float scale,
                     int transparent, int turn, const MEMIMG* blendGraph);
// Four corners {x, y} receiving texels (0, 0), (w, 0), (0, h), (w, h), drawn as two triangles.
void SoftDrawQuad(MEMIMG* destination, const MEMIMG* source, const POINT corners[4], int transparent,
                  const MEMIMG* blendGraph);

struct GraphRecord;
// The whole graph stretched into (x1, y1)-(x2, y2) on the draw target; x2 < x1 or y2 < y1 mirror that axis.
// overrideSurface: a 2D surface drawn instead of the graph's first piece (its own size then the source size), or -1.
int DrawImageScaled(int x1, int y1, int x2, int y2, const GraphRecord* graph, int transparent, int intCoordinates,
                    int overrideSurface);
// A filled rectangle, and a rectangle outline whose right and bottom lines lie one pixel inside x2 and y2, on the
// draw target in the draw state's blend mode. colour is a pixel value of the screen format.
int DrawFilledBox(int x1, int y1, int x2, int y2, int colour);
int DrawBoxOutline(int x1, int y1, int x2, int y2, int colour);
// The graph rotated by the angle (radians) and scaled about its centre, the centre at (x, y); turn mirrors it.
int DrawImageRotated(float x, float y, double scale, double angle, const GraphRecord* graph, int transparent,
                     int turn);
// The graph's top-left, top-right, bottom-left and bottom-right corners go to points 1 to 4. Always 0.
int DrawImageFourPoints(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                        const GraphRecord* graph, int transparent);
// The same with whole-pixel corners, as the triangles (1, 2, 3) and (2, 3, 4). Always 0.
int DrawImageQuadSplit(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, const GraphRecord* graph,
                       int transparent);
// One triangle on the draw target, textured with the graph (or flat in fillColour without one). 0 or -1.
int DrawImageTriangle(const SoftVertex vertices[3], const GraphRecord* graph, int transparent, uint32_t fillColour);
