// The shared page step: a script that is only its rows in talk_script_data.cpp. Each frame it puts the page's
// cells and window mode into the slots, turns the page on decide (starting the motion that press names), or runs
// one step of the current motion, and ends at the script's end page.
#pragma once

#include <vector>

#include "story/talk.h"
#include "story/talk_script_data.h"

class TableTalk : public Talk {
public:
    TableTalk(std::shared_ptr<Loader> loader, const char* name);
    ~TableTalk() override;

    bool update() override;
    void load() override;

    const story::TalkMember& member() const { return *member_; }
    story::TalkMotion motionState = story::TalkMotion::None;

protected:
    // The table step's parts, for scripts that add figures around it.
    void applyPage();
    void stepMotion();
    story::TalkMotion motionForPress(int newPage) const;

    const story::TalkMember* member_;
    story::TalkPages pages_;
    // Cut cells, one per table entry (0 for an empty slot); the tables own them, the slots borrow.
    std::vector<int> slot0Cells_, slot1Cells_, thirdCells_;
};
