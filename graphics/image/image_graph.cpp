// Graphs from images: the graph loader the game calls (an image file and its "_a" companion become one graph, a
// file no reader accepts is opened as a movie graph) and graphs made from decoded images in memory. The graph
// layer makes the graph and uploads the pixels; this file decides the graph's kind and keeps the bookkeeping.
#include <string.h>

#include "graphics/d3d/device3d.h"
#include "graphics/ddraw/display.h"
#include "graphics/draw.h"
#include "graphics/graph.h"
#include "graphics/image/image.h"
#include "graphics/movie.h"
#include "graphics/restore.h"
#include "runtime/file.h"
#include "runtime/log.h"
#include "runtime/message_pump.h"

namespace {

// Take the transparent colour from an image's top-left pixel; nothing switches this on.
int g_transparentFromTopLeft = 0;

// A file that exists but that no reader accepts: a graph of the movie's frame size showing the movie.
int LoadMovieGraph(const char* name, int may3D) {
    const FileHandle file = FileLayerOpen(name, 0, 1);
    if (file == 0) {
        WriteLogFormat("グラフィックファイル %s がありません", name);
        return -1;
    }
    FileLayerClose(file);

    const int savedDepth = GetGraphCreateDepth();
    const int savedSystemMemory = GetUseSystemMemoryGraph();
    const int saved3D = IsDrawing3DUsable();
    int width = 0, height = 0;
    const int movie = OpenMovieToGraph(name, &width, &height, 0);
    if (movie == -1) {
        WriteLogPrintf("右記のグラフィックファイルのロードに失敗しました：%s \n", name);
        return -1;
    }
    if (GetMovieMode(movie) != 0) SetUse3D(0);
    SetGraphCreateDepth(GetScreenColorBits());
    SetUseSystemMemoryGraph(1);
    const int graph = CreateGraphOrFail(width, height, may3D, 0, 0);
    if (graph == -1) {
        WriteLogFormat("右記のグラフィックファイルの格納用グラフィック領域の作成に失敗しました：%s", name);
    }
    SetGraphCreateDepth(savedDepth);
    RestoreUseSystemMemoryGraph(savedSystemMemory);
    SetUse3D(saved3D);
    if (graph == -1) {
        CloseMovie(movie);  // no graph will ever own it
        return -1;
    }
    SetGraphMovieHandle(graph, movie);
    return graph;
}

}  // namespace

int GraphImagePairLayout(const GraphImage* image, const GraphImage* alphaImage, int* alphaChannel,
                         int* paletteImage) {
    if (image == nullptr || image->pixels == nullptr) return -1;
    if (alphaImage != nullptr && (alphaImage->width != image->width || alphaImage->height != image->height)) {
        return -1;
    }
    const int hasAlphaBits = image->format.alphaWidth != 0;
    *alphaChannel = hasAlphaBits || alphaImage != nullptr ? 1 : 0;
    *paletteImage = image->format.bytesPerPixel == 1 && !hasAlphaBits && alphaImage == nullptr ? 1 : 0;
    return 0;
}

int CheckGraphImagePair(const GraphImage* image, const GraphImage* alphaImage, int may3D) {
    EndCurrentScene3D();
    WaitWhileInactive();
    int alphaChannel = 0, paletteImage = 0;
    if (GraphImagePairLayout(image, alphaImage, &alphaChannel, &paletteImage) != 0) return -1;
    return CreateGraphOrFail(image->width, image->height, may3D, alphaChannel, paletteImage);
}

int MakeGraphFromGraphImageCore(GraphImage* image, GraphImage* alphaImage, int may3D, int mirror, int mirrorHere) {
    FixColorFormatNoneMask(&image->format);
    if (alphaImage != nullptr) FixColorFormatNoneMask(&alphaImage->format);
    EndCurrentScene3D();

    const int savedTransparent = GetTransparentColor();
    if (g_transparentFromTopLeft) {
        SetTransparentColor(static_cast<int>(GetGraphImagePixel(image, 0, 0) & 0xFFFFFF));
    }
    const bool mirrored = mirror == 1 && mirrorHere == 1;
    if (mirrored) {
        MirrorGraphImage(image);
        if (alphaImage != nullptr) MirrorGraphImage(alphaImage);
    }
    int graph = CheckGraphImagePair(image, alphaImage, may3D);
    if (graph != -1 && SetGraphRestoreSource(nullptr, image, alphaImage, 0, 0, graph, 0) < 0) {
        // A graph whose pixels never arrived is no success.
        ReleaseGraphImpl(graph, 0);
        graph = -1;
    }
    SetTransparentColor(savedTransparent);
    if (mirrored) {
        MirrorGraphImage(image);
        if (alphaImage != nullptr) MirrorGraphImage(alphaImage);
    }
    return graph;
}

int MakeGraphFromGraphImage(const GraphImage* image) {
    if (image == nullptr) return -1;
    GraphImage copy = *image;  // the pixels are shared; only the record's none mask is recomputed
    return MakeGraphFromGraphImageCore(&copy, nullptr, 1, 0, 0);
}

int LoadGraphFromFileCore(const char* name, int may3D, int mirror) {
    if (name == nullptr) return -1;
    EndCurrentScene3D();
    WaitWhileInactive();
    GraphImage image, alpha;
    const int loaded = LoadImageWithAlphaFile(name, nullptr, 0, nullptr, 0, 0, &image, &alpha);
    if (loaded == -1) return LoadMovieGraph(name, may3D);
    GraphImage* alphaImage = loaded == 0 ? &alpha : nullptr;
    if (mirror == 1) {
        MirrorGraphImage(&image);
        if (alphaImage != nullptr) MirrorGraphImage(alphaImage);
    }
    const int graph = MakeGraphFromGraphImageCore(&image, alphaImage, may3D, mirror, 0);
    if (graph != -1) SetGraphFileName(graph, name);
    ReleaseGraphImage(&image);
    ReleaseGraphImage(&alpha);
    return graph;
}

int LoadGraphFromFileImpl(const char* name, int flag) {
    return LoadGraphFromFileCore(name, !flag, 0);
}
