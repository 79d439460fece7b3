// The shared table-driven page step of the conversation scripts.
#include "story/talk_table.h"

#include "game/shell/loader.h"
#include "story/story_release.h"

using story::MotionRowOf;
using story::TalkMotion;
using story::TalkMotionEnd;
using story::TalkStopRule;

TableTalk::TableTalk(std::shared_ptr<Loader> loaderIn, const char* name)
    : Talk(std::move(loaderIn)), member_(story::FindTalkMember(name)) {
    std::string error;
    const story::TalkPageRows* rows = story::FindTalkPageRows(name);
    if (rows != nullptr) story::ParseTalkPages(*rows, &pages_, &error);
    page = member_->firstPage;
    windowMode = member_->startWindowMode;
    for (int i = 0; i < 4; ++i) {
        portraitX[i] = member_->slotX[i];
        portraitFlip[i] = member_->turned[i];
    }
    motionState = member_->startMotion;
}

TableTalk::~TableTalk() {
    // The slots only borrow table cells: empty them so the base releases nothing twice.
    for (int& image : portraitImage) image = 0;
    for (std::vector<int>* cells : {&slot0Cells_, &slot1Cells_, &thirdCells_}) {
        for (int& cell : *cells) releaseStoryGraph(cell);
    }
}

void TableTalk::load() {
    auto cut = [this](const std::vector<story::TalkCell>& from, std::vector<int>* into) {
        into->clear();
        for (const story::TalkCell& cell : from) into->push_back(cell.sheet < 0 ? 0 : cutPortrait(cell.cell, cell.sheet));
    };
    cut(pages_.slot0, &slot0Cells_);
    cut(pages_.slot1, &slot1Cells_);
    cut(pages_.third, &thirdCells_);
    const int sheet = story::TalkTextSheet(*member_);
    textSheet = sheet >= 0 ? loader->image(sheet) : -1;
}

void TableTalk::applyPage() {
    if (pages_.modes.empty()) return;
    int index = page - member_->firstPage;
    if (index < 0) index = 0;
    if (index >= static_cast<int>(pages_.modes.size())) index = static_cast<int>(pages_.modes.size()) - 1;
    auto at = [index](const std::vector<int>& cells) {
        return index < static_cast<int>(cells.size()) ? cells[index] : 0;
    };
    portraitImage[0] = at(slot0Cells_);
    portraitImage[1] = at(slot1Cells_);
    if (pages_.thirdSlot >= 0) portraitImage[pages_.thirdSlot] = at(thirdCells_);
    windowMode = pages_.modes[index];
}

TalkMotion TableTalk::motionForPress(int newPage) const {
    for (const story::TalkPress& press : member_->presses) {
        if (press.motion != TalkMotion::None && press.page == newPage) return press.motion;
    }
    return TalkMotion::None;
}

void TableTalk::stepMotion() {
    const story::TalkMotionRow& row = MotionRowOf(motionState);
    windowMode = kHiddenWindow;
    for (int i = 0; i < 4; ++i) {
        if (row.emptySlots & (1u << i)) portraitImage[i] = 0;
    }
    int& x = portraitX[row.slot];
    auto move = [&] {
        x += row.step;
        if (row.partnerSlot >= 0) portraitX[row.partnerSlot] += row.step;
    };
    bool done = false;
    switch (row.rule) {
        case TalkStopRule::Reach:
            move();
            // On or past the target, so a slot that starts off the step grid still stops.
            done = row.step < 0 ? x <= row.target : x >= row.target;
            break;
        case TalkStopRule::WhileAtMost:
            if (x <= row.target) move(); else done = true;
            break;
        case TalkStopRule::WhileBelow:
            if (x < row.target) move(); else done = true;
            break;
        case TalkStopRule::WhileNotBelow:
            if (x >= row.target) move(); else done = true;
            break;
        case TalkStopRule::SnapAbove:
            if (x > row.target) {
                move();
            } else {
                x = row.target;
                done = true;
            }
            break;
        case TalkStopRule::Instant:
            done = true;
            break;
    }
    if (row.turnedWhileMoving) portraitFlip[row.slot] = true;
    if (!done) return;
    motionState = TalkMotion::None;
    switch (row.end) {
        case TalkMotionEnd::Nothing: break;
        case TalkMotionEnd::FaceMovingSlot: portraitFlip[row.slot] = false; break;
        case TalkMotionEnd::FaceSlot1: portraitFlip[1] = false; break;
        case TalkMotionEnd::NextMotion: motionState = row.next; break;
        case TalkMotionEnd::TurnPage: ++page; break;
        case TalkMotionEnd::ShowWindow0: windowMode = 0; break;
    }
}

bool TableTalk::update() {
    applyPage();
    if (motionState == TalkMotion::None) {
        if (decidePressed()) {
            ++page;
            bool silent = false;
            const TalkMotion started = motionForPress(page);
            if (started != TalkMotion::None) {
                const story::TalkMotionRow& row = MotionRowOf(started);
                if (row.rule == TalkStopRule::Instant) {
                    if (row.end == TalkMotionEnd::FaceSlot1) portraitFlip[1] = false;
                } else {
                    windowMode = kHiddenWindow;
                    motionState = started;
                    silent = row.silentPress;
                }
            }
            if (!silent) playPageSound();
        }
    } else {
        stepMotion();
    }
    // A script whose last press starts a motion ends only once that motion is over.
    if (page >= member_->endPage && motionState == TalkMotion::None) {
        windowMode = kHiddenWindow;
        return true;
    }
    return false;
}
