// A movie's current frame into its 2D graph: the graph's surface is locked and the frame converted into it (a
// graph held as a software image takes the frame directly).
#include <cstring>

#include "graphics/color/color_convert.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/color/memimg.h"
#include "graphics/movie/movie_internal.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/surface_data.h"
#include "runtime/log.h"

int UpdateMovieFrameToSurface2D(const MovieRecord* movie, GraphRecord* graph) {
    if (movie == nullptr || graph == nullptr || movie->frame == nullptr || graph->pieceCount < 1) return -1;
    const Surface2D* piece = Surface2DToRecord(graph->pieces[0]);
    SurfaceData* data = piece != nullptr ? SurfaceDataToRecord(piece->surfaceData) : nullptr;
    if (data == nullptr) return -1;
    GraphImage frame;
    MovieFrameAsImage(movie, &frame);
    // The whole frame goes where the movie's own graph starts: a graph cut out of it shares these pixels.
    const int x = piece->x - graph->sourceX, y = piece->y - graph->sourceY;
    if (x < 0 || y < 0) return -1;
    const int width = movie->width < data->width - x ? movie->width : data->width - x;
    const int height = movie->height < data->height - y ? movie->height : data->height - y;
    if (width <= 0 || height <= 0) return -1;
    if (data->software) {
        return TransferImageToMemImg(&frame, nullptr, &data->image, 0, 0, width, height, x, y, 0) < 0 ? -1 : 0;
    }
    if (data->surface == nullptr) return -1;
    RECT rect = {x, y, x + width, y + height};
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (FAILED(data->surface->Lock(&rect, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr))) {
        WriteLog("ムービーグラフィック転送先サーフェスのロックに失敗しました\n");
        return -1;
    }
    const DDPIXELFORMAT& pf = desc.ddpfPixelFormat;
    ColorFormat target;
    SetColorFormatFromMasksImpl(&target, static_cast<int>(pf.dwRGBBitCount), pf.dwRBitMask, pf.dwGBitMask,
                                pf.dwBBitMask, pf.dwRGBAlphaBitMask);
    const RECT source = {0, 0, width, height};
    const int converted = ColorFormatConvertBlt(desc.lpSurface, desc.lPitch, &target, frame.pixels, frame.pitch,
                                                &frame.format, nullptr, 0, nullptr, 0, 0, &source, 0, 0, 0,
                                                kDitherNone, 0, 0, 0);
    data->surface->Unlock(&rect);
    return converted < 0 ? -1 : 0;
}
