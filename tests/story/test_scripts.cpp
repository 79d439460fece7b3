// Every conversation script run through the conversation scene: decide pressed every other frame until the scene
// offers its successor. The pages read back at the window's text position are the script's pages in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/input_poll.h"
#include "game/loader.h"
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
    const int stage = story::TalkKindStage(member->kind);
    const bool after = story::TalkKindAfterMatch(member->kind);
    const int partner = storyOpponent(stage == 0 ? 1 : stage, member->character);
    const StoryHandleCounts before = CountStoryHandles();

    game().startScene(std::make_shared<SceneTalk>(member->character, partner, stage, after, game().loaderPointer()));
    SceneTalk* scene = current<SceneTalk>();
    ASSERT_NE(nullptr, scene);
    std::vector<int> shown;
    int talkEnds = 0;
    int previousState = scene->state();
    int frame = 0;
    for (; frame < 4000 && current<SceneTalk>() == scene; ++frame) {
        game().step(frame % 2 == 0 ? kButtonFirst : 0);
        if (current<SceneTalk>() != scene) break;
        if (previousState == SceneTalk::kTalk && scene->state() != SceneTalk::kTalk) ++talkEnds;
        previousState = scene->state();
        if (scene->state() != SceneTalk::kTalk) continue;
        const int page = ShownPage(game(), *scene->talk());
        if (page >= 0 && (shown.empty() || shown.back() != page)) shown.push_back(page);
    }
    ASSERT_NE(scene, current<SceneTalk>()) << "no successor within " << frame << " frames";
    EXPECT_EQ(1, talkEnds);
    EXPECT_EQ(ExpectedPages(*member), shown);

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
