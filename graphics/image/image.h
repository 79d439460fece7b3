// Folder graphics/image/: the image readers, image loading through the file layer and the hand-over of decoded
// pictures to graphs. It may call the graph layer, graphics/color/, the display
// device and device3d.h (to make graphs) and the runtime core (file layer, streams).
//
// Decoded pictures (GraphImage): their helpers, loading them from files or memory through the image readers,
// the "_a" alpha companion, Windows bitmaps made from them, and the graphs made from them.
// The readers themselves sit behind graphics/image/image_reader.h; this is what the rest of the runtime calls.
#pragma once

#include <windows.h>

#include "graphics/color/color_format.h"

struct GraphImage {
    ColorFormat format;
    int width;
    int height;
    int pitch;
    void* pixels;  // tracked block of pitch x height bytes, rows top to bottom
};

// ---- Helpers ----
// A 24-bit image (blue, green, red bytes), pitch width x 3 rounded up to 4, pixels allocated but not cleared.
// 0, or -1 (image zeroed) for a size outside the readers' limits or when the pixels cannot be allocated.
int CreateGraphImage(int width, int height, GraphImage* image);
// Frees the pixels and zeroes the whole record. A null image is ignored.
void ReleaseGraphImage(GraphImage* image);
void ReleaseLoadedGraphImage(GraphImage* image);
// Fills every pixel of a 2-, 3- or 4-byte image with the colour in the image's format; other depths are left
// unchanged. Returns 0, or -1 when the image has no pixels.
int FillGraphImage(GraphImage* image, int red, int green, int blue, int alpha);
// 0x00RRGGBB (plus alpha in bits 24-31 when the format has alpha) of a 2-, 3- or 4-byte pixel, each channel scaled
// to 8 bits; 0 when the image has no pixels, another depth, or (x, y) lies outside it.
unsigned int GetGraphImagePixel(const GraphImage* image, int x, int y);
// Reverses every row in place (1 to 4 bytes a pixel). 0, or -1 for an empty image or another depth.
int MirrorGraphImage(GraphImage* image);

// ---- Loading ----
// The file name of an image's alpha companion: "_a" goes before the last '.' of the name (at the end when it has
// none): "res/x.png" -> "res/x_a.png", "a.b/c" -> "a_a.b/c". Returns 0, or -1 when it would not fit into outSize.
int MakeAlphaCompanionName(const char* fileName, char* out, int outSize);

// Decodes a file (fromMemory 0: through the file layer) or a block of memory (fromMemory 1). With toDIB the
// image is handed out as a packed bitmap (info and bits in one tracked block at *outDibInfo, bits at *outDibBits;
// the caller frees the info block) instead of a GraphImage. With convert 1 the decoded pixels pass once through
// the conversion blit into a fresh block (the restore road). Returns 0 or -1.
int LoadImageToGraphImage(const char* fileName, const void* memory, int memorySize, int fromMemory, int toDIB,
                          int convert, GraphImage* outImage, BITMAPINFO** outDibInfo, void** outDibBits);
// The plain form: a file name, or (fileName null) the memory block. Returns 0 or -1.
int LoadGraphImage(const char* fileName, const void* memory, int memorySize, GraphImage* outImage);
// The image and its alpha companion: from the file name and its companion file, or (fileName null) from the
// memory block and the alpha memory block. -1: the image failed (both outputs zeroed); 0: image and alpha
// loaded; 1: image only (an alpha image of another size counts as loaded; the graph maker refuses the pair).
int LoadImageWithAlphaFile(const char* fileName, const void* memory, int memorySize, const void* alphaMemory,
                           int alphaMemorySize, int convert, GraphImage* outImage, GraphImage* outAlpha);

// ---- Windows bitmaps ----
// A packed bitmap (BITMAPINFO with its colour table, then the bits) of an image: 8-bit palette images keep their
// indices and palette, anything else becomes 24-bit blue-green-red. Top-down, rows padded to 4 bytes. The info
// block is tracked and holds the bits too; the caller frees it. Returns 0 or -1.
int GraphImageTo24Bit(const GraphImage* image, BITMAPINFO** outInfo, void** outBits);
// A device-independent bitmap made from a file (fileName) or a memory block (fileName null); with reverse the
// picture is mirrored left to right. Null on failure.
HBITMAP CreateDIBGraph(const char* fileName, const void* memory, int memorySize, int reverse);
HBITMAP CreateDIBGraphFromFile(const char* fileName, int reverse);
// The same from a bitmap description and bits the caller already has. With a colour format the bits are read in
// that layout (rows padded to 4 bytes) and converted first; with null they are taken as the description says.
HBITMAP CreateDIBFromBitmapInfo(const BITMAPINFO* info, const void* bits, int reverse, const ColorFormat* format);

// ---- Graphs from images ----
// The graph loader: the image and its "_a" companion become one graph (mirrored left to right with mirror 1); a file
// that exists but that no reader accepts becomes a movie graph. Graph handle or -1.
int LoadGraphFromFileCore(const char* name, int may3D, int mirror);
// flag 0: the graph may take the Direct3D path.
int LoadGraphFromFileImpl(const char* name, int flag);
int MakeGraphFromGraphImage(const GraphImage* image);  // graph handle or -1
// The graph of an image and its optional alpha image; with mirror and mirrorHere both 1 the pixels go in mirrored
// (the images are put back afterwards). Graph handle or -1.
int MakeGraphFromGraphImageCore(GraphImage* image, GraphImage* alphaImage, int may3D, int mirror, int mirrorHere);
// Makes the (empty) graph that will hold the pair. -1 when the alpha image has another size.
int CheckGraphImagePair(const GraphImage* image, const GraphImage* alphaImage, int may3D);
// What CheckGraphImagePair asks of the graph layer: an alpha channel when the image has alpha bits or an alpha
// image comes with it; a palette graph for a one-byte image without either. 0, or -1 for an alpha image of another
// size (or no image).
int GraphImagePairLayout(const GraphImage* image, const GraphImage* alphaImage, int* alphaChannel,
                         int* paletteImage);
