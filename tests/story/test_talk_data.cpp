// The conversation tables checked against themselves and against the generated pictures: every row as long as its
// pages, every cell inside its sheet. (That each sheet is in the conversation group is checked where the scripts
// run with their group loaded.)
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "game/shell/loader.h"
#include "graphics/graphics.h"
#include "story/scene_talk.h"
#include "story/story_links.h"
#include "story/talk.h"
#include "story/talk_script_data.h"
#include "story/talk_scripts.h"
#include "story_test_support.h"
#include "tests/game_support/game_stepper.h"

using namespace story;

namespace {

int pageCount(const TalkMember& member) { return member.lastPage - member.firstPage + 1; }

}  // namespace

TEST(TalkData, EveryRowParsesAndIsAsLongAsItsPages) {
    for (const TalkPageRows& rows : TalkPageTable()) {
        SCOPED_TRACE(rows.name);
        const TalkMember* member = FindTalkMember(rows.name);
        ASSERT_NE(nullptr, member);
        TalkPages pages;
        std::string error;
        ASSERT_TRUE(ParseTalkPages(rows, &pages, &error)) << error;
        const size_t n = static_cast<size_t>(pageCount(*member));
        EXPECT_EQ(n, pages.slot0.size());
        EXPECT_EQ(n, pages.slot1.size());
        EXPECT_EQ(n, pages.modes.size());
        if (pages.thirdSlot >= 0) {
            EXPECT_EQ(n, pages.third.size());
        }
        for (int mode : pages.modes) EXPECT_TRUE(mode >= 0 && mode <= 5) << mode;
    }
    // Every script that the shared step drives has its rows.
    for (const TalkMember& member : TalkMembers()) {
        if (member.driver == TalkDriver::Table) {
            EXPECT_NE(nullptr, FindTalkPageRows(member.name)) << member.name;
        }
    }
}

TEST(TalkData, MalformedRowsAreRefused) {
    const char* bad[] = {"169", "169:", ":3", "169:3 x", "169:3 x0", "169:3,, 170:1", "a:b", "169:-3"};
    for (const char* row : bad) {
        std::vector<TalkCell> cells;
        std::string error;
        EXPECT_FALSE(ParseTalkCells(row, &cells, &error)) << row;
        EXPECT_FALSE(error.empty()) << row;
    }
    std::vector<TalkCell> cells;
    std::string error;
    ASSERT_TRUE(ParseTalkCells("-, 168:12 x3, 170:1", &cells, &error)) << error;
    ASSERT_EQ(5u, cells.size());
    EXPECT_EQ(-1, cells[0].sheet);
    EXPECT_EQ(168, cells[3].sheet);
    EXPECT_EQ(12, cells[3].cell);
    EXPECT_EQ(170, cells[4].sheet);
}

TEST(TalkData, EveryStoryStepHasItsOneScriptAndCharacterSixHasNone) {
    std::set<std::string> seen;
    for (int character = 0; character < 7; ++character) {
        for (int stage = 0; stage <= 4; ++stage) {
            for (bool after : {false, true}) {
                const TalkMember* member = FindTalkMember(character, stage, after);
                if (character == 6) {
                    EXPECT_EQ(nullptr, member);
                    EXPECT_EQ(nullptr, SceneTalk::createTalk(character, stage, after, nullptr));
                    continue;
                }
                ASSERT_NE(nullptr, member) << character << " " << stage << " " << after;
                EXPECT_EQ(character, member->character);
                seen.insert(member->name);
                std::shared_ptr<Talk> talk = SceneTalk::createTalk(character, stage, after, nullptr);
                EXPECT_NE(nullptr, talk) << member->name;
            }
        }
    }
    EXPECT_EQ(TalkMembers().size(), seen.size());
    EXPECT_EQ(nullptr, FindTalkMember(0, 5, false));
    EXPECT_EQ(nullptr, FindTalkMember(-1, 1, false));
}

TEST(TalkData, EveryCellLiesInsideItsGeneratedSheet) {
    auto inside = [](int entry, int right, int bottom) {
        const PictureRow* row = FindPictureRowForEntry(entry);
        ASSERT_NE(nullptr, row) << "image entry " << entry;
        EXPECT_LE(right, row->width) << "image entry " << entry;
        EXPECT_LE(bottom, row->height) << "image entry " << entry;
    };
    for (const TalkMember& member : TalkMembers()) {
        SCOPED_TRACE(member.name);
        if (member.driver == TalkDriver::Ending) {
            inside(435 + 2 * member.character, 640, 480);
            inside(436 + 2 * member.character, 528, 80 * member.epiloguePages);
            continue;
        }
        inside(TalkTextSheet(member), Talk::kPageWidth, Talk::kPageHeight * (member.lastPage + 1));
        for (const TalkCell& cell : TalkCellsOf(member)) inside(cell.sheet, 160 * (cell.cell + 1), 256);
    }
}
