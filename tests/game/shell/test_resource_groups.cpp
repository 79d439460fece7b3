// The resource groups on the real runtime: each group loaded and released brings the live graph and sound counts
// back (also where one entry is loaded twice: mirror matches, a portrait both speakers use, the loading images
// after a window-mode switch), the keep flag, the sound volume rule, the loading screen, a missing file, and no
// tracked allocation left after the game ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "game/shell/scene.h"
#include "graphics/ddraw/display.h"
#include "graphics/ddraw/present.h"
#include "runtime/memory.h"
#include "runtime/runtime.h"
#include "tests/game/game_test_util.h"
#include "tests/game_support/runtime_font_graphs.h"

namespace {

// A scene that holds no graph of its own, so counts see the common group alone.
class IdleScene : public Scene {
public:
    explicit IdleScene(std::shared_ptr<Loader> loader) : Scene(std::move(loader)) {}
    void update() override { draw(); }
    void loadResources(bool) override {}
    void draw() override {}
};

struct Counts {
    int graphs, sounds;
};
Counts Live() { return {LiveGraphCount(), LiveSoundCount()}; }

std::set<int> LoadedImages(const Loader& loader) {
    std::set<int> loaded;
    for (int i = 0; i < kImageEntryCount; ++i) {
        if (loader.image(i) != -1) loaded.insert(i);
    }
    return loaded;
}

std::set<int> LoadedSounds(const Loader& loader) {
    std::set<int> loaded;
    for (int i = 0; i < kSoundEntryCount; ++i) {
        if (loader.sound(i) != -1) loaded.insert(i);
    }
    return loaded;
}

// Loads and releases a group: while loaded, the live graphs grew by exactly the entries that became loaded (an
// entry loaded twice must not leave a graph behind), and after the release both counts are back.
void ExpectRoundTrip(Loader& loader, const std::string& what, const std::function<void(bool)>& group,
                     const std::function<void()>& whileLoaded = {}) {
    const Counts before = Live();
    const std::set<int> imagesBefore = LoadedImages(loader);
    const std::set<int> soundsBefore = LoadedSounds(loader);
    group(false);
    const int newImages = static_cast<int>(LoadedImages(loader).size() - imagesBefore.size());
    const int newSounds = static_cast<int>(LoadedSounds(loader).size() - soundsBefore.size());
    EXPECT_GT(newImages + newSounds, 0) << what << " loaded nothing";
    EXPECT_EQ(before.graphs + newImages, LiveGraphCount()) << what << ": graphs while loaded";
    EXPECT_EQ(before.sounds + newSounds, LiveSoundCount()) << what << ": sounds while loaded";
    if (whileLoaded) whileLoaded();
    group(true);
    EXPECT_EQ(before.graphs, LiveGraphCount()) << what << ": graphs after the release";
    EXPECT_EQ(before.sounds, LiveSoundCount()) << what << ": sounds after the release";
    EXPECT_EQ(imagesBefore, LoadedImages(loader)) << what;
}

// The story's opponents, stage 1 to 4, of Kessa, Pelun, Fiora, Vellis, Obren and Quen.
const int kStoryOpponents[6][4] = {{1, 4, 3, 5}, {2, 5, 0, 3}, {0, 1, 5, 4}, {5, 2, 4, 0}, {3, 0, 1, 2}, {4, 3, 2, 1}};

class ResourceGroupTest : public ::testing::Test {
protected:
    void TearDown() override { resetOptionValues(); }
};

// The group tests that leave the table as they found it share one started game: starting costs seconds.
class SharedGameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { game_ = TakeGameStepper(); }
    static void TearDownTestSuite() {
        ParkGameStepper(game_);
        game_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(game_->started()); }
    void TearDown() override { resetOptionValues(); }
    static GameStepper* game_;
};
GameStepper* SharedGameTest::game_ = nullptr;

// The common group from start-up, released and loaded again, and again after display switches.
void CommonGroupAndDisplaySwitches() {
    GameStepper game;
    ASSERT_TRUE(game.started());
    // The title menu keeps cut-outs of its own; an idle scene leaves the common group alone in the counts.
    ASSERT_EQ(0, game.startScene(std::make_shared<IdleScene>(game.loaderPointer())));
    Loader& loader = game.loader();
    const Counts start = Live();
    const int fontGraphs = RuntimeFontGraphCount();
    EXPECT_EQ(250, loader.markAngle());  // turned once for each of the 25 images
    // Beside the fonts' own graphs: the 25 screen images and the loading screen's three, one graph each.
    EXPECT_EQ(2, LiveRuntimeFontCount());
    EXPECT_EQ(28, start.graphs - fontGraphs);
    EXPECT_EQ(28u, LoadedImages(loader).size());
    EXPECT_EQ(4, start.sounds);
    loader.loadCommon(true);
    EXPECT_EQ(25, start.graphs - LiveGraphCount()) << "the 25 screen images go, the loading screen's three stay";
    EXPECT_EQ(0, LiveSoundCount());
    loader.loadCommon(false);
    EXPECT_EQ(start.graphs, LiveGraphCount());
    EXPECT_EQ(start.sounds, LiveSoundCount());

    // What the options screen does after a display switch, twice over. The switch deletes every graph; this
    // screen (1024x768) refuses a 640x480 full-screen mode, so the graphs are deleted here the way the switch
    // deletes them (the story tests make the real switch on a 640x480 screen). Then the common group is released
    // and loaded again: no graph may be orphaned on the way, every common entry is a live graph again, and the
    // fonts make their glyph-cache graphs again when they next draw.
    for (int round = 0; round < 2; ++round) {
        const std::string when = "after switch " + std::to_string(round);
        ReleaseAllGraphs(0);
        EXPECT_EQ(0, LiveGraphCount()) << when;
        loader.loadCommon(true);
        loader.loadCommon(false);
        EXPECT_EQ(0, RuntimeFontGraphCount()) << when << ": the fonts make theirs when they next draw";
        ExpectGraphsBackAfterSwitch(loader, start.graphs, fontGraphs, when.c_str());
        EXPECT_EQ(start.sounds, LiveSoundCount()) << when;
    }
    game.idle(3);
    EXPECT_EQ(start.graphs, LiveGraphCount());
}

TEST_F(ResourceGroupTest, CommonGroupAndWindowModeSwitchesThenNothingTrackedLeft) {
    CommonGroupAndDisplaySwitches();
    // The game has ended (every graph and sound released, the runtime shut down, the controller dropped).
    EXPECT_EQ(0, GetTrackedAllocCount());
}

TEST_F(SharedGameTest, BattleGroupsMirrorAndMixed) {
    GameStepper& game = *game_;
    Loader& loader = game.loader();
    const std::pair<int, int> pairs[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}};
    for (const auto& p : pairs) {
        ExpectRoundTrip(loader, "battle " + std::to_string(p.first) + "-" + std::to_string(p.second),
                        [&](bool release) { loader.loadBattle(release, p.first, p.second); });
    }
    // A mixed pair: the stage and the music follow side 1, and the warning sound comes with the match.
    ExpectRoundTrip(
        loader, "battle 0-6", [&](bool release) { loader.loadBattle(release, 0, 6); },
        [&] {
            EXPECT_NE(-1, loader.image(27));
            EXPECT_EQ(-1, loader.image(3));
            EXPECT_NE(-1, loader.sound(7));
            EXPECT_EQ(-1, loader.sound(1));
            EXPECT_NE(-1, loader.sound(16));
        });
    EXPECT_EQ(-1, loader.sound(16));
}

TEST_F(SharedGameTest, KeepFlagSkipsOneReleaseAndOneLoad) {
    GameStepper& game = *game_;
    Loader& loader = game.loader();
    const Counts idle = Live();
    loader.loadBattle(false, 2, 4);
    const Counts loaded = Live();
    const int angle = loader.markAngle();
    const int figure = loader.image(205 + 12 * 2);

    loader.setKeepFlag(true);
    loader.loadBattle(true, 2, 4);  // the old round's release: skipped, the flag stays
    EXPECT_TRUE(loader.keepFlag());
    EXPECT_EQ(loaded.graphs, LiveGraphCount());
    EXPECT_EQ(loaded.sounds, LiveSoundCount());
    loader.loadBattle(false, 2, 4);  // the new round's load: clears the flag, loads nothing
    EXPECT_FALSE(loader.keepFlag());
    EXPECT_EQ(loaded.graphs, LiveGraphCount());
    EXPECT_EQ(angle, loader.markAngle());
    EXPECT_EQ(figure, loader.image(205 + 12 * 2));

    loader.loadBattle(true, 2, 4);
    EXPECT_EQ(idle.graphs, LiveGraphCount());
    EXPECT_EQ(idle.sounds, LiveSoundCount());
}

TEST_F(SharedGameTest, SkillImagesPerCharacter) {
    GameStepper& game = *game_;
    Loader& loader = game.loader();
    const int expected[7] = {9, 14, 10, 9, 6, 7, 2};
    for (int c = 0; c < 7; ++c) {
        const int before = LiveGraphCount();
        loader.loadSkillImages(false, c);
        EXPECT_EQ(before + expected[c], LiveGraphCount()) << "character " << c;
        loader.loadSkillImages(true, c);
        EXPECT_EQ(before, LiveGraphCount()) << "character " << c;
    }
    const int before = LiveGraphCount();
    loader.loadSkillImages(false, 7);
    loader.loadSkillImages(false, -1);
    EXPECT_EQ(before, LiveGraphCount());
    EXPECT_EQ(-1, loader.image(327));  // belongs to no group
}

TEST_F(SharedGameTest, ConversationGroupsOfTheStory) {
    GameStepper& game = *game_;
    Loader& loader = game.loader();
    // Each character's first talk (its own portraits and sheets, the partner's, Quen's stage-0 guests, which
    // Fiora's set holds too), the talk where Vellis's portrait is in both sets, and every ending. The other story
    // talks load the same sets in other pairings; going through all of them costs minutes of loading here.
    struct Talk {
        int stage, character, partner;
        bool after;
    };
    std::vector<Talk> talks;
    for (int c = 0; c < 6; ++c) talks.push_back({0, c, kStoryOpponents[c][0], false});
    talks.push_back({1, 3, 5, false});
    talks.push_back({1, 5, 4, false});
    for (int c = 0; c < 6; ++c) talks.push_back({4, c, kStoryOpponents[c][3], true});
    for (const Talk& t : talks) {
        ExpectRoundTrip(loader,
                        "conversation " + std::to_string(t.character) + " with " + std::to_string(t.partner) +
                            " stage " + std::to_string(t.stage) + (t.after ? " after" : ""),
                        [&](bool release) { loader.loadCharacterSet(t.stage, release, t.character, t.partner, t.after); });
    }
    // Vellis meeting Quen at stage 1: Vellis's portrait 183 is in both sets.
    loader.loadCharacterSet(1, false, 3, 5, false);
    EXPECT_NE(-1, loader.image(183));
    EXPECT_NE(-1, loader.image(192));
    loader.loadCharacterSet(1, true, 3, 5, false);
    EXPECT_EQ(-1, loader.image(183));
}

TEST_F(SharedGameTest, ExtraSceneGroup) {
    GameStepper& game = *game_;
    Loader& loader = game.loader();
    ExpectRoundTrip(loader, "extra scene", [&](bool release) { loader.loadExtraScene(release); });
}

LONG BufferVolume(int handle, int buffer) {
    SoundData* data = GetSoundData(handle);
    LONG volume = 1;
    if (data == nullptr || data->bufferCount <= buffer || data->buffers[buffer].buffer == nullptr) return 1;
    data->buffers[buffer].buffer->GetVolume(&volume);
    return volume;
}

TEST_F(SharedGameTest, SoundsLoadWithThreeBuffersAtTheOptionVolume) {
    GameStepper& game = *game_;
    Loader& loader = game.loader();
    // 255 x volume / 100 truncated; DirectSound then gets 1000 x log10(level / 255) hundredths of a decibel.
    const struct {
        int option;
        LONG want;
    } rows[] = {{100, 0}, {37, -433}, {0, -10000}};
    for (const auto& r : rows) {
        optionVolume = r.option;
        masterVolume = r.option / 100.0;
        loader.loadSound(13, false);
        const int handle = loader.sound(13);
        ASSERT_NE(-1, handle);
        ASSERT_EQ(3, GetSoundData(handle)->bufferCount);
        for (int b = 0; b < 3; ++b) EXPECT_EQ(r.want, BufferVolume(handle, b)) << "volume " << r.option;
    }
}

TEST_F(SharedGameTest, LoadingScreenTurnsTheMarkAndShowsTheText) {
    GameStepper& game = *game_;
    Loader& loader = game.loader();
    const int angle = loader.markAngle();
    for (int i = 0; i < 12; ++i) loader.loadImage(370 + i, false);
    EXPECT_EQ((angle + 120) % 360, loader.markAngle());
    for (int i = 0; i < 36; ++i) loader.loadImage(370 + i % 12, false);
    EXPECT_EQ((angle + 120) % 360, loader.markAngle()) << "a whole turn in 36 images";
    for (int i = 0; i < 12; ++i) loader.loadImage(370 + i, true);

    loader.drawLoadingScreen();
    const PictureRow* back = FindPictureRowForEntry(0);
    const PictureRow* mark = FindPictureRowForEntry(1);
    const PictureRow* text = FindPictureRowForEntry(2);
    ASSERT_TRUE(back && mark && text);
    int tx = 0, ty = 0;
    PictureSamplePoint(*text, &tx, &ty);
    EXPECT_TRUE(NearColour(PictureCellColour(*text, 0), game.pixel(380 + tx, 380 + ty), 24)) << "loading text";
    EXPECT_TRUE(NearColour(PictureCellColour(*mark, 0), game.pixel(340 + 8, 400 + 8), 24)) << "mark";
    EXPECT_TRUE(NearColour(PictureCellColour(*back, 0), game.pixel(600, 100), 24)) << "background";
    // The text is drawn with transparency: left of it the background shows.
    EXPECT_TRUE(NearColour(PictureCellColour(*back, 0), game.pixel(379, 385), 24));
}

// The loading screen is presented once per image of a group and never paced: a paced present waits for the frame
// interval or the vertical blank, which over a group of images would cost seconds. The present path counts the
// presents that waited, so this needs no clock. A game frame is still paced.
TEST_F(SharedGameTest, LoadingScreenPresentsOneUnpacedFramePerImage) {
    Loader& loader = game_->loader();
    ASSERT_EQ(1, GetFlipVSyncWait()) << "start-up turns the vertical-blank wait on";
    struct Group {
        const char* name;
        int images;
        std::function<void(bool)> run;
    } groups[] = {
        {"extra scene", 38, [&](bool release) { loader.loadExtraScene(release); }},
        {"battle, Kessa against Wix", 16 + 26 + 1 + 2 * 24 + 3 + 9 + 2 + 4,
         [&](bool release) { loader.loadBattle(release, 0, 6); }},
    };
    for (Group& g : groups) {
        const uint64_t presents = GetFlipCount();
        const uint32_t waits = GetPacedPresentWaitCount();
        g.run(false);
        EXPECT_EQ(presents + g.images, GetFlipCount()) << g.name << ": one frame per image";
        EXPECT_EQ(waits, GetPacedPresentWaitCount()) << g.name << ": no loading frame waited";
        const uint64_t afterLoad = GetFlipCount();
        g.run(true);
        EXPECT_EQ(afterLoad, GetFlipCount()) << g.name << ": a release draws no loading screen";
    }
    // The frame loop's own present stays paced.
    const uint32_t waits = GetPacedPresentWaitCount();
    for (int frame = 0; frame < 2; ++frame) ASSERT_EQ(0, PresentBackScreen2D());
    EXPECT_EQ(waits + 2, GetPacedPresentWaitCount()) << "each game frame is paced";
}

TEST_F(ResourceGroupTest, MissingFileLeavesMinusOneAndTheGroupGoesOn) {
    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
    const std::string root = std::string(temp) + "kavorin-missing-file";
    const std::string source = ResourceTreePath(ResourceTree::kFolders);
    ASSERT_FALSE(source.empty());
    // The extra scene's files, but for entry 380, in a folder of their own.
    for (const char* folder : {"", "\\res", "\\res\\Delphy", "\\res\\Delphy\\cg", "\\res\\sound", "\\res\\sound\\bgm",
                               "\\res\\sound\\se", "\\add"}) {
        CreateDirectoryA((root + folder).c_str(), nullptr);
    }
    auto copy = [&](const char* path) {
        std::string from = source + "\\" + path, to = root + "\\" + path;
        for (char& ch : from) ch = ch == '/' ? '\\' : ch;
        for (char& ch : to) ch = ch == '/' ? '\\' : ch;
        return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
    };
    for (int i = 370; i <= 407; ++i) {
        if (i == 380) continue;
        ASSERT_TRUE(copy(kImagePaths[i])) << kImagePaths[i];
    }
    for (int s : {11, 46, 15}) ASSERT_TRUE(copy(kSoundPaths[s]));
    std::string missing = root + "\\" + kImagePaths[380];
    DeleteFileA(missing.c_str());

    {
        GameStepper game;
        ASSERT_TRUE(game.started());
        char previous[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, previous);
        SetCurrentDirectoryA(root.c_str());
        game.loader().loadExtraScene(false);
        SetCurrentDirectoryA(previous);
        EXPECT_EQ(-1, game.loader().image(380));
        for (int i : {370, 379, 381, 407}) EXPECT_NE(-1, game.loader().image(i)) << i;
        EXPECT_NE(-1, game.loader().sound(15));
        // Releasing the failed entry does nothing.
        const int before = LiveGraphCount();
        game.loader().loadImage(380, true);
        EXPECT_EQ(before, LiveGraphCount());
    }
    for (int i = 370; i <= 407; ++i) DeleteFileA((root + "\\" + kImagePaths[i]).c_str());
}

}  // namespace
