// Uploads into graphs on an 8-bit (palette) screen, on Wine's DirectDraw in a full-screen mode of the X screen's
// size: the picture goes through a Windows bitmap and the surface's device context, so each pixel reads back as
// the palette index of its colour; an image that cannot become a bitmap is refused with its log line.
#include "tests/graphics/test_graph_support.h"

#include <string>
#include <vector>

#include "graphics/color/color_format.h"
#include "graphics/ddraw/surface2d.h"
#include "graphics/graph.h"
#include "graphics/surface_data.h"
#include "runtime/runtime.h"
#include "tests/runtime/test_window_support.h"

namespace {

// Entries of the screen palette whose colour is not a grey: the colour cube's, far apart from every other entry,
// so the nearest palette colour of each is itself however coarsely GDI matches colours.
std::vector<int> DistinctEntries() {
    const PALETTEENTRY* p = GetScreenPaletteEntries();
    std::vector<int> out;
    for (int i = 0; i < 256; ++i) {
        const bool cube = p[i].peRed % 51 == 0 && p[i].peGreen % 51 == 0 && p[i].peBlue % 51 == 0;
        const bool grey = p[i].peRed == p[i].peGreen && p[i].peGreen == p[i].peBlue;
        if (cube && !grey) out.push_back(i);
    }
    return out;
}

uint32_t EntryColour(int index) {
    const PALETTEENTRY& e = GetScreenPaletteEntries()[index];
    return static_cast<uint32_t>(e.peRed) << 16 | static_cast<uint32_t>(e.peGreen) << 8 | e.peBlue;
}

// The palette colours of the graph's pixels, read from its surface.
std::string ReadGraph(int graph, int width, int height, std::vector<uint32_t>* colours) {
    const GraphRecord* g = GetGraphRecord(graph);
    const Surface2D* piece = g != nullptr && g->pieceCount > 0 ? Surface2DToRecord(g->pieces[0]) : nullptr;
    SurfaceData* data = piece != nullptr ? SurfaceDataToRecord(piece->surfaceData) : nullptr;
    if (data == nullptr || data->software || data->surface == nullptr) return "the graph has no DirectDraw surface";
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(desc);
    if (FAILED(data->surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return "lock failed";
    const bool palette = (desc.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8) != 0;
    colours->clear();
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(desc.lpSurface) + (size_t)(piece->y + y) * desc.lPitch;
        for (int x = 0; x < width; ++x) colours->push_back(EntryColour(row[piece->x + x]));
    }
    data->surface->Unlock(nullptr);
    return palette ? "" : "the graph's surface has no palette format";
}

std::string CheckUploadsOnAPaletteScreen() {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    ChangeDisplayMode(screenWidth, screenHeight, 8, 0, -1);
    ChangeWindowMode(0);
    ScratchDirectory logFolder;
    SetLogFileEnabled(1);
    if (StartUpLibrary() != 0) return "start-up failed";
    if (IsWindowMode()) return "fell back to a window";
    if (GetDisplayState().screenBits != 8) return "screen of " + std::to_string(GetDisplayState().screenBits) + " bits";

    const std::vector<int> entries = DistinctEntries();
    if (entries.size() < 100) return "the screen palette has only " + std::to_string(entries.size()) + " cube colours";
    auto colourAt = [&](int x, int y) { return EntryColour(entries[(x * 7 + y * 13) % entries.size()]); };

    // The whole picture into a graph of its size.
    constexpr int kW = 21, kH = 13;
    const int graph = CreateEmptyGraphImpl(kW, kH, 1);
    if (graph == -1) return "no graph";
    GraphImage picture = MakeTestPicture(kW, kH, colourAt);
    const int uploaded = BltImageToGraph2D(&picture, nullptr, 0, 0, GetGraphRecord(graph));
    if (uploaded != 0) return "upload refused";
    std::vector<uint32_t> got;
    std::string problem = ReadGraph(graph, kW, kH, &got);
    if (!problem.empty()) return problem;
    const RECT all = {0, 0, kW, kH};
    problem = DescribePixelDifferences(all, got, colourAt, 0);
    if (!problem.empty()) return "whole upload: " + problem;

    // A rectangle from inside the picture to a place inside the graph: only that part changes.
    const RECT part = {5, 3, 14, 10};
    GraphImage other = MakeTestPicture(kW, kH, [&](int x, int y) { return colourAt(x + 3, y + 1); });
    if (BltImageRectToGraph2D(&other, nullptr, &part, 2, 4, GetGraphRecord(graph)) != 0) return "part upload refused";
    problem = ReadGraph(graph, kW, kH, &got);
    if (!problem.empty()) return problem;
    problem = DescribePixelDifferences(all, got, [&](int x, int y) {
        const int sx = x - 2 + part.left, sy = y - 4 + part.top;
        const bool inPart = sx >= part.left && sx < part.right && sy >= part.top && sy < part.bottom;
        return inPart ? colourAt(sx + 3, sy + 1) : colourAt(x, y);
    }, 0);
    if (!problem.empty()) return "part upload: " + problem;

    // A palette image whose own palette orders the colours otherwise: the colours arrive, not the indices.
    GraphImage indexed;
    std::memset(&indexed, 0, sizeof(indexed));
    SetPaletteColorFormat(&indexed.format);
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = EntryColour(entries[(i * 5) % entries.size()]);
        indexed.format.palette[i] = ColorPaletteEntry{uint8_t(c & 0xFF), uint8_t(c >> 8), uint8_t(c >> 16), 0};
    }
    indexed.width = kW;
    indexed.height = kH;
    indexed.pitch = 24;
    std::vector<uint8_t> indices((size_t)indexed.pitch * kH);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint8_t>(i * 11);
    indexed.pixels = indices.data();
    auto indexedAt = [&](int x, int y) {
        const ColorPaletteEntry& e = indexed.format.palette[indices[(size_t)y * indexed.pitch + x]];
        return static_cast<uint32_t>(e.red) << 16 | static_cast<uint32_t>(e.green) << 8 | e.blue;
    };
    const RECT indexedPart = {3, 2, 20, 11};
    if (BltImageRectToGraph2D(&indexed, nullptr, &indexedPart, 1, 1, GetGraphRecord(graph)) != 0) {
        return "palette image refused";
    }
    const std::vector<uint32_t> previous = got;
    problem = ReadGraph(graph, kW, kH, &got);
    if (!problem.empty()) return problem;
    problem = DescribePixelDifferences(all, got, [&](int x, int y) {
        const bool inPart = x >= 1 && x < 18 && y >= 1 && y < 10;
        return inPart ? indexedAt(x - 1 + indexedPart.left, y - 1 + indexedPart.top) : previous[(size_t)y * kW + x];
    }, 0);
    if (!problem.empty()) return "palette image: " + problem;

    // An image whose colour layout no bitmap can take is refused with the conversion's line.
    GraphImage broken = picture;
    broken.format.bytesPerPixel = 0;
    broken.format.bitDepth = 0;
    if (BltImageToGraph2D(&broken, nullptr, 0, 0, GetGraphRecord(graph)) != -1) return "broken image accepted";
    if (logFolder.ReadFile("Log.txt").find("GraphImage を BMP に変換する処理が失敗しました") == std::string::npos) {
        return "the refusal was not logged";
    }
    ReleaseGraphImage(&picture);
    ReleaseGraphImage(&other);
    if (ShutDownLibrary() != 0) return "shutdown failed";
    return "";
}

TEST(Surface2DPaletteScreen, UploadsReadBackAsTheirPaletteColours) {
    ExpectCheckPassesInChild(CheckUploadsOnAPaletteScreen);
}

}  // namespace
