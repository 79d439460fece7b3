// Every conversation script run through the conversation scene: decide pressed every other frame until the scene
// offers its successor. The pages read back at the window's text position are the script's pages in order, every
// sheet it cuts from is in the conversation group, the background shows through the talk frame, and the successor
// is the story table's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/match/player.h"
#include "game/match/scene_game_main.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "story/scene_talk.h"
#include "story/scene_title.h"
#include "story/story_links.h"
#include "story/talk.h"
#include "story/talk_script_data.h"
#include "story_test_support.h"

namespace {

class ScriptRunTest : public StoryGameTest, public ::testing::WithParamInterface<const char*> {};

// The pages a script shows: its first to last page, without those whose window stays hidden.
std::vector<int> ExpectedPages(const story::TalkMember& member) {
    std::vector<int> pages;
    story::TalkPages rows;
    std::string error;
    const story::TalkPageRows* table = story::FindTalkPageRows(member.name);
    if (table != nullptr) story::ParseTalkPages(*table, &rows, &error);
    for (int page = member.firstPage; page <= member.lastPage; ++page) {
        const int index = page - member.firstPage;
        if (member.driver == story::TalkDriver::Table && index < static_cast<int>(rows.modes.size()) &&
            rows.modes[index] == Talk::kHiddenWindow) {
            continue;
        }
        // The walk-out that the press onto page 5 starts ends the script; page 5 never shows.
        if (std::string(member.name) == "TalkVellisP" && page == 5) continue;
        pages.push_back(page);
    }
    return pages;
}

TEST_P(ScriptRunTest, ShowsItsPagesInOrderAndOffersItsSuccessor) {
    const story::TalkMember* member = story::FindTalkMember(GetParam());
    ASSERT_NE(nullptr, member);
    const int character = member->character;
    const int stage = story::TalkKindStage(member->kind);
    const bool after = story::TalkKindAfterMatch(member->kind);
    const int partner = storyOpponent(stage == 0 ? 1 : stage, character);
    const StoryHandleCounts before = CountStoryHandles();

    game().startScene(std::make_shared<SceneTalk>(character, partner, stage, after, game().loaderPointer()));
    SceneTalk* scene = current<SceneTalk>();
    ASSERT_NE(nullptr, scene);
    // What the script cuts is in the conversation group the scene loaded.
    Loader& loader = game().loader();
    EXPECT_NE(-1, loader.image(story::TalkTextSheet(*member)));
    for (const story::TalkCell& cell : TalkCellsOf(*member)) {
        EXPECT_NE(-1, loader.image(cell.sheet)) << "sheet " << cell.sheet << " is not in the group";
    }

    // The scene's own frames, stepped here so that its successor can be looked at before the controller would
    // switch to it (and load that scene's group). Decide goes down every other frame, once the page before has
    // been on screen for a frame: a reader who turns each page as soon as it shows.
    std::vector<int> shown;
    int talkEnds = 0;
    int previousState = scene->state();
    bool pressed = false;
    int lastShown = -1;
    bool backgroundLookedAt = false;
    inputCurrent[0] = inputPrevious[0] = 0;
    int frame = 0;
    for (; frame < 4000 && !scene->getNextScene(); ++frame) {
        pressed = !pressed && lastShown >= 0;
        inputPrevious[0] = inputCurrent[0];
        inputCurrent[0] = pressed ? kButtonFirst : 0;
        scene->update();
        if (previousState == SceneTalk::kTalk && scene->state() != SceneTalk::kTalk) ++talkEnds;
        previousState = scene->state();
        // The talk frame lies over the conversation's background: below the portraits the background shows.
        if (scene->state() == SceneTalk::kTalk && !backgroundLookedAt) {
            backgroundLookedAt = true;
            EXPECT_TRUE(ShowsCell(game().pixel(320, 440), 31 + (stage < 1 ? character : partner), 0))
                << "the background through the talk frame";
        }
        lastShown = scene->state() == SceneTalk::kTalk ? ShownPage(game(), *scene->talk()) : -1;
        if (lastShown >= 0 && (shown.empty() || shown.back() != lastShown)) shown.push_back(lastShown);
    }
    inputCurrent[0] = inputPrevious[0] = 0;
    const std::shared_ptr<Scene> next = scene->getNextScene();
    ASSERT_NE(nullptr, next) << "no successor within " << frame << " frames";
    EXPECT_EQ(1, talkEnds);
    EXPECT_EQ(ExpectedPages(*member), shown);

    // The story table.
    if (stage == 0 || (after && stage < 4)) {
        auto* talk = dynamic_cast<SceneTalk*>(next.get());
        ASSERT_NE(nullptr, talk);
        const int nextStage = stage + 1;
        EXPECT_EQ(character, talk->character());
        EXPECT_EQ(storyOpponent(nextStage, character), talk->partner());
        EXPECT_EQ(nextStage, talk->stage());
        EXPECT_FALSE(talk->afterMatch());
    } else {
        auto* match = dynamic_cast<SceneGameMain*>(next.get());
        ASSERT_NE(nullptr, match);
        EXPECT_EQ(character, match->player(0)->character);
        EXPECT_EQ(partner, match->player(1)->character);
    }

    game().startScene(std::make_shared<SceneTitle>(game().loaderPointer()));
    ExpectStoryHandlesBack(before);
}

std::vector<const char*> ConversationNames() {
    std::vector<const char*> names;
    for (const story::TalkMember& member : story::TalkMembers()) {
        if (member.driver != story::TalkDriver::Ending) names.push_back(member.name);
    }
    return names;
}

INSTANTIATE_TEST_SUITE_P(AllConversations, ScriptRunTest, ::testing::ValuesIn(ConversationNames()),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
