// A movie's current frame into the texture pieces of its 3D graph, each piece taking the part of the frame under
// it. Movies here carry no alpha of their own (there is no record of one), so the whole frame is picture.
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/movie/movie_internal.h"
#include "graphics/d3d/surface3d.h"

int UpdateMovieFrameToTextures3D(const MovieRecord* movie, GraphRecord* graph) {
    if (movie == nullptr || graph == nullptr || movie->frame == nullptr) return -1;
    GraphImage frame;
    MovieFrameAsImage(movie, &frame);
    // A graph cut out of the movie's graph takes the part of the frame it was cut from.
    return BltImageToGraph3D(graph->sourceX, graph->sourceY, graph, &frame, nullptr);
}
