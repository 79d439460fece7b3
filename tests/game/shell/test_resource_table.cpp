// The resource table against both generated trees: every entry loads at its table size, every grid cell can be
// cut and shows its own colour, and the loading screen draws the mark and the text where they belong.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "runtime/runtime.h"
#include "tests/game/game_test_util.h"

namespace {

class ResourceTableTest : public ::testing::TestWithParam<ResourceTree> {};

TEST_P(ResourceTableTest, EveryEntryLoadsAtItsTableSize) {
    GameStepper game(GetParam());
    ASSERT_TRUE(game.started());
    Loader& loader = game.loader();
    // Through the Loader (with its loading screen) from folders; as the plain loads underneath from the archives,
    // where the loading screen would only add its waits again.
    const bool viaLoader = GetParam() == ResourceTree::kFolders;
    std::vector<int> plain;
    for (int entry = 0; entry < kImageEntryCount; ++entry) {
        if (entry >= 3 && viaLoader) loader.loadImage(entry, false);
        if (entry >= 3 && !viaLoader) plain.push_back(LoadGraphFromFile(kImagePaths[entry], 0));
        const int handle = entry >= 3 && !viaLoader ? plain.back() : loader.image(entry);
        const PictureRow* row = FindPictureRowForEntry(entry);
        ASSERT_NE(nullptr, row) << entry;
        int width = 0, height = 0;
        ASSERT_NE(-1, handle) << "image entry " << entry << " (" << row->path << ")";
        ASSERT_EQ(0, GetGraphDimensions(handle, &width, &height));
        EXPECT_EQ(row->width, width) << row->path;
        EXPECT_EQ(row->height, height) << row->path;
    }
    for (int entry = 0; entry < kSoundEntryCount; ++entry) {
        loader.loadSound(entry, false);
        EXPECT_NE(-1, loader.sound(entry)) << "sound entry " << entry << " (" << kSoundPaths[entry] << ")";
    }
}

// Cuts every cell of every picture as the game does (DeriveSubGraph) and copies a small square around the cell's
// sample point to its own spot on the screen; a screenful of spots is read back at once. Each spot must show its
// cell's own colour, so a wrong grid, a wrong cut or a mixed-up file shows as a wrong colour.
TEST(ResourceCellsTest, EveryCellCutsAndShowsItsOwnColour) {
    GameStepper game(ResourceTree::kFolders);
    ASSERT_TRUE(game.started());
    struct Spot {
        int x, y;
        uint32_t want;
        const char* path;
        int index;
        int cell;
    };
    std::vector<Spot> spots;
    std::vector<int> graphs;
    std::string failures;
    int checked = 0, wrong = 0;
    // Names the first few wrong cells and counts the rest.
    auto fail = [&](const std::string& text) {
        if (++wrong <= 8) failures += text;
    };
    auto settle = [&] {
        const std::vector<uint8_t> screen = game.screenRgb();
        ASSERT_FALSE(screen.empty());
        for (const Spot& s : spots) {
            const uint8_t* p = &screen[(static_cast<size_t>(s.y) * kScreenWidth + s.x) * 3];
            const uint32_t got = static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
            if (!NearColour(got, s.want, 24)) {
                char text[160];
                snprintf(text, sizeof(text), "%s cell %d shows %06x, not %06x; ", s.path, s.index,
                         static_cast<unsigned>(got), static_cast<unsigned>(s.want));
                fail(text);
            }
            ReleaseGraph(s.cell, 0);
            ++checked;
        }
        // The picture still being cut stays; the ones before it are done.
        for (size_t g = 0; g + 1 < graphs.size(); ++g) ReleaseGraph(graphs[g], 0);
        if (!graphs.empty()) graphs.erase(graphs.begin(), graphs.end() - 1);
        spots.clear();
        ClearTargetScreen();
    };
    ClearTargetScreen();
    for (int i = 0; i < kPictureRowCount; ++i) {
        const PictureRow& row = kPictureRows[i];
        const int graph = LoadGraphFromFile(row.path, 0);
        ASSERT_NE(-1, graph) << row.path;
        graphs.push_back(graph);
        int sx = 0, sy = 0;
        PictureSamplePoint(row, &sx, &sy);
        for (int r = 0; r < row.rows; ++r) {
            for (int c = 0; c < row.columns; ++c) {
                const int index = row.columns > 1 ? c : r;
                const int cell =
                    DeriveSubGraph(c * row.cellWidth, r * row.cellHeight, row.cellWidth, row.cellHeight, graph);
                if (cell == -1) {
                    fail(std::string(row.path) + " cell " + std::to_string(index) + " cannot be cut; ");
                    continue;
                }
                const int n = static_cast<int>(spots.size());
                const Spot spot{8 + (n % 20) * 32, 8 + (n / 20) * 32, PictureCellColour(row, index), row.path,
                                index, cell};
                DrawGraphPart(spot.x - 1, spot.y - 1, sx - 1, sy - 1, 3, 3, cell, 0, 0);
                spots.push_back(spot);
                if (spots.size() == 20 * 14) settle();
            }
        }
    }
    settle();
    for (int g : graphs) ReleaseGraph(g, 0);
    EXPECT_EQ("", failures) << wrong << " cells wrong";
    EXPECT_GT(checked, kPictureRowCount);
}

INSTANTIATE_TEST_SUITE_P(Trees, ResourceTableTest, ::testing::Values(ResourceTree::kFolders, ResourceTree::kArchives),
                         [](const ::testing::TestParamInfo<ResourceTree>& info) {
                             return info.param == ResourceTree::kFolders ? std::string("Folders")
                                                                         : std::string("Archives");
                         });

}  // namespace
