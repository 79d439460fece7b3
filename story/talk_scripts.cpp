// The conversation scripts with code of their own: the page-change scripts, Pelun's after-match swap, the four
// scripts with figures, the endings, and the factory from class name to script.
#include "story/talk_scripts.h"

#include <cmath>
#include <cstring>

#include "game/shell/loader.h"
#include "graphics/graphics.h"
#include "story/story_release.h"

using story::TalkCell;
using story::TalkMotion;

namespace {

constexpr int kThrownItemImage = 196;
constexpr int kLightImage = 197;
constexpr double kRadiansPerDegree = 0.0174532925;

int sheetImage(const std::shared_ptr<Loader>& loader, const story::TalkMember& member) {
    const int sheet = story::TalkTextSheet(member);
    return sheet >= 0 ? loader->image(sheet) : -1;
}

}  // namespace

// ---- Page-change scripts ----

ChangeTalk::ChangeTalk(std::shared_ptr<Loader> loaderIn, const char* name)
    : Talk(std::move(loaderIn)), member_(story::FindTalkMember(name)) {
    page = member_->firstPage;
    windowMode = member_->startWindowMode;
    for (int i = 0; i < 4; ++i) portraitX[i] = member_->slotX[i];
}

void ChangeTalk::load() {
    applyChanges(-1);
    textSheet = sheetImage(loader, *member_);
}

void ChangeTalk::applyChanges(int leftPage) {
    for (const story::TalkPageChange& change : story::TalkChangeTable()) {
        if (change.leftPage != leftPage || std::strcmp(change.name, member_->name) != 0) continue;
        if (change.slot >= 0 && change.slot < 4) {
            const TalkCell cell = story::ParseTalkCell(change.cell);
            replacePortrait(change.slot, cell.sheet, cell.cell);
        }
        if (change.mode >= 0) windowMode = change.mode;
    }
}

bool ChangeTalk::update() {
    if (motionState != 0) {
        windowMode = kHiddenWindow;
        stepMotion();
    } else if (decidePressed()) {
        const int left = page++;
        onPress(left);
        if (motionState != 0) {
            windowMode = kHiddenWindow;
        } else {
            applyChanges(left);
        }
        playPageSound();
    }
    if (page >= member_->endPage && motionState == 0) {
        windowMode = kHiddenWindow;
        return true;
    }
    return false;
}

TalkKessaA::TalkKessaA(std::shared_ptr<Loader> loader) : ChangeTalk(std::move(loader), "TalkKessaA") {}

void TalkKessaA::onPress(int leftPage) {
    if (leftPage == 0) motionState = 1;
}

void TalkKessaA::stepMotion() {
    // Slot 1 slides in by 8 from 650; the step from 418 lands on 410.
    portraitX[1] -= 8;
    if (portraitX[1] <= 410) {
        motionState = 0;
        applyChanges(0);
    }
}

// ---- Pelun's after-match talk with Kessa ----

TalkPelunAfterC::TalkPelunAfterC(std::shared_ptr<Loader> loaderIn) : Talk(std::move(loaderIn)) {
    page = 9;
    windowMode = kHiddenWindow;
}

TalkPelunAfterC::~TalkPelunAfterC() {
    for (int& image : portraitImage) image = 0;
    for (int i = 0; i < 4; ++i) {
        releaseStoryGraph(pelunCells_[i]);
        releaseStoryGraph(kessaCells_[i]);
    }
}

void TalkPelunAfterC::load() {
    const story::TalkPageRows* rows = story::FindTalkPageRows("TalkPelunAfterC");
    story::TalkPages pages;
    std::string error;
    if (rows == nullptr || !story::ParseTalkPages(*rows, &pages, &error)) return;
    for (int i = 0; i < 4; ++i) {
        pelunCells_[i] = cutPortrait(pages.slot0[i].cell, pages.slot0[i].sheet);
        kessaCells_[i] = cutPortrait(pages.slot1[i].cell, pages.slot1[i].sheet);
        modes_[i] = pages.modes[i];
    }
    textSheet = sheetImage(loader, *story::FindTalkMember("TalkPelunAfterC"));
}

void TalkPelunAfterC::fillSlots() {
    switch (page) {
        case 9:
            portraitImage[0] = pelunCells_[0];
            portraitImage[1] = kessaCells_[0];
            break;
        case 10:
            portraitImage[0] = pelunCells_[1];
            portraitImage[3] = kessaCells_[1];
            portraitFlip[3] = true;
            break;
        case 11:
            portraitImage[2] = pelunCells_[2];
            portraitFlip[2] = true;
            portraitImage[3] = kessaCells_[2];
            break;
        default:
            portraitImage[2] = pelunCells_[3];
            portraitImage[3] = kessaCells_[3];
            portraitFlip[3] = false;
            break;
    }
}

bool TalkPelunAfterC::update() {
    for (int& image : portraitImage) image = 0;
    windowMode = modes_[page - 9 < 4 ? page - 9 : 3];
    if (decidePressed()) {
        ++page;
        playPageSound();
    }
    fillSlots();
    if (page >= 13) {
        windowMode = kHiddenWindow;
        return true;
    }
    return false;
}

// ---- Kessa's prologue ----

TalkKessaP::TalkKessaP(std::shared_ptr<Loader> loader) : TableTalk(std::move(loader), "TalkKessaP") {}

TalkKessaP::~TalkKessaP() {
    // The slots may still show an entrance or visitor cell; TableTalk empties them after this.
    releaseStoryGraph(walking_);
    releaseStoryGraph(standing_);
    releaseVisitor();
}

void TalkKessaP::load() {
    TableTalk::load();
    const TalkCell walk = story::FindTalkChangeCell("TalkKessaP", -1, story::kFigureSlot);
    const TalkCell stand = story::FindTalkChangeCell("TalkKessaP", -1, story::kFigureSlot + 1);
    walking_ = cutPortrait(walk.cell, walk.sheet);
    standing_ = cutPortrait(stand.cell, stand.sheet);
}

void TalkKessaP::releaseVisitor() {
    if (portraitImage[2] == visitorStanding_ || portraitImage[2] == visitorThrowing_) portraitImage[2] = 0;
    releaseStoryGraph(visitorStanding_);
    releaseStoryGraph(visitorThrowing_);
}

void TalkKessaP::stepEntrance() {
    portraitFlip[0] = true;
    windowMode = kHiddenWindow;
    int& x = portraitX[0];
    if ((x == 410 && counter < 15) || (x == 70 && counter < 30)) {
        ++counter;
        portraitImage[0] = standing_;
    } else {
        counter = 0;
        x -= 5;
        portraitImage[0] = walking_;
    }
    if (x == 70 && counter == 30) {
        figureState = 0;
        counter = 0;
        portraitFlip[0] = false;
    }
}

void TalkKessaP::stepVisitor() {
    for (Item& item : items) {
        if (item.active && item.y < 350) {
            item.x += item.vx;
            item.y += item.vy;
        }
    }
    int& x = portraitX[2];
    portraitImage[2] = visitorStanding_;
    windowMode = kHiddenWindow;
    if (x != -48) x += 5;
    if (x == -48 && counter == 0) {
        // Waiting: the page-1 window shows, and one press sets the visitor running (no page turn, no sound).
        windowMode = pages_.modes.size() > 1 ? pages_.modes[1] : 2;
        if (decidePressed()) {
            counter = 1;
            x = -43;
        }
    }
    if (x == -48 || x == 52 || x == 152 || x == 252 || x == 352 || x == 452) {
        const int k = (x + 100) / 100;
        if (!items[k].active) {
            const bool even = k % 2 == 0;
            items[k] = Item{x + 48, portraitY[2] + 184, even ? 6 : -6, even ? -6 : 6, true};
        }
        portraitImage[2] = visitorThrowing_;
        ++throwPose;
    }
    if (throwPose > 0) {
        ++throwPose;
        portraitImage[2] = visitorThrowing_;
        if (throwPose > 6) throwPose = 0;
    }
    if (x > 640) {
        ++page;
        releaseVisitor();
        counter = 0;
        figureState = 0;
    }
}

bool TalkKessaP::update() {
    applyPage();
    switch (figureState) {
        case 0:
            if (decidePressed()) {
                ++page;
                if (page == 1) {
                    figureState = 2;
                    windowMode = kHiddenWindow;
                    portraitX[2] = -168;
                    const TalkCell stand = story::FindTalkChangeCell("TalkKessaP", 0, story::kFigureSlot + 2);
                    const TalkCell thrower = story::FindTalkChangeCell("TalkKessaP", 0, story::kFigureSlot + 3);
                    releaseVisitor();
                    visitorStanding_ = cutPortrait(stand.cell, stand.sheet);
                    visitorThrowing_ = cutPortrait(thrower.cell, thrower.sheet);
                    portraitImage[2] = visitorStanding_;
                }
                if (page == 3) {
                    figureState = 3;
                    motionState = TalkMotion::RightIn;
                    windowMode = kHiddenWindow;
                }
                if (page == 9) {
                    figureState = 4;
                    windowMode = kHiddenWindow;
                }
                if (page == 10) figureState = 5;
                playPageSound();
            }
            break;
        case 1:
            stepEntrance();
            break;
        case 2:
            stepVisitor();
            break;
        case 3:
            stepMotion();
            if (motionState == TalkMotion::None) figureState = 0;
            break;
        case 4:
            windowMode = kHiddenWindow;
            if (counter >= 40) {
                counter = 0;
                figureState = 0;
            } else {
                ++counter;
            }
            break;
        case 5:
            // Page 10 stays readable while she leaves; presses wait until she is gone.
            portraitX[0] -= 5;
            portraitFlip[0] = true;
            if (portraitX[0] < -200) {
                portraitFlip[0] = false;
                figureState = 0;
            }
            break;
        default:
            break;
    }
    if (page >= 11) {
        windowMode = kHiddenWindow;
        return true;
    }
    return false;
}

void TalkKessaP::draw() {
    Talk::draw();
    const int item = loader->image(kThrownItemImage);
    for (const Item& it : items) {
        if (it.active) DrawGraphAt(it.x, it.y, item, 1);
    }
    if (figureState == 4) DrawGraphAt(150, 170, loader->image(kLightImage), 1);
}

// ---- Pelun's prologue ----

TalkPelunP::TalkPelunP(std::shared_ptr<Loader> loader)
    : TableTalk(std::move(loader), "TalkPelunP"), itemX(430.0), itemY(300.0) {}

bool TalkPelunP::update() {
    applyPage();
    switch (figureState) {
        case 0:
            if (decidePressed()) {
                ++page;
                if (page == 1) {
                    figureState = 3;
                    windowMode = kHiddenWindow;
                }
                playPageSound();
            }
            break;
        case 1:
            stepMotion();
            if (motionState == TalkMotion::None) figureState = 0;
            break;
        case 3: {
            windowMode = kHiddenWindow;
            angle = (angle + 357) % 360;
            const double radians = angle * kRadiansPerDegree;
            itemX = std::cos(radians) * 110 + 320;
            itemY = std::sin(radians) * 110 + 300;
            if (angle == 180) figureState = 2;
            break;
        }
        case 2:
            portraitFlip[1] = true;
            windowMode = kHiddenWindow;
            if (portraitX[1] == 640) {
                figureState = 0;
                portraitFlip[1] = false;
            } else {
                portraitX[1] += 5;
            }
            break;
        default:
            break;
    }
    if (page >= 4) {
        windowMode = kHiddenWindow;
        return true;
    }
    return false;
}

void TalkPelunP::draw() {
    Talk::draw();
    if (page > 0) {
        DrawGraphRotated(static_cast<int>(itemX), static_cast<int>(itemY), 1.0, 0.0, loader->image(kThrownItemImage), 1,
                         0);
    }
}

// ---- Fiora's stage-1 talks ----

TalkFioraA::TalkFioraA(std::shared_ptr<Loader> loader) : ChangeTalk(std::move(loader), "TalkFioraA") {}

TalkFioraA::~TalkFioraA() { releaseStoryGraph(extraCell); }

void TalkFioraA::load() {
    ChangeTalk::load();
    const TalkCell cell = story::FindTalkChangeCell("TalkFioraA", -1, story::kFigureSlot);
    extraCell = cutPortrait(cell.cell, cell.sheet);
}

void TalkFioraA::onPress(int leftPage) {
    if (leftPage == 0) motionState = 1;
    if (leftPage == 4) motionState = 2;
    const TalkCell cell = story::FindTalkChangeCell("TalkFioraA", leftPage, story::kFigureSlot);
    if (motionState == 0 && cell.sheet >= 0) {
        releaseStoryGraph(extraCell);
        extraCell = cutPortrait(cell.cell, cell.sheet);
    }
}

void TalkFioraA::stepMotion() {
    if (motionState == 1) {
        portraitX[1] -= 8;
        if (portraitX[1] <= 410) {
            motionState = 0;
            applyChanges(0);
        }
    } else {
        extraX -= 6;
        if (extraX <= -160) {
            motionState = 0;
            applyChanges(4);
        }
    }
}

void TalkFioraA::draw() {
    // The extra figure faces the talk until it turns to run off.
    if (motionState == 2) {
        DrawGraphAt(extraX, 120, extraCell, 1);
    } else {
        DrawGraphMirrored(extraX, 120, extraCell, 1);
    }
    Talk::draw();
}

TalkFioraAfterA::TalkFioraAfterA(std::shared_ptr<Loader> loader) : ChangeTalk(std::move(loader), "TalkFioraAfterA") {}

TalkFioraAfterA::~TalkFioraAfterA() { releaseStoryGraph(extraCell); }

void TalkFioraAfterA::load() {
    ChangeTalk::load();
    const TalkCell cell = story::FindTalkChangeCell("TalkFioraAfterA", -1, story::kFigureSlot);
    extraCell = cutPortrait(cell.cell, cell.sheet);
}

void TalkFioraAfterA::onPress(int leftPage) {
    if (leftPage == 6) motionState = 1;
    const TalkCell cell = story::FindTalkChangeCell("TalkFioraAfterA", leftPage, story::kFigureSlot);
    if (cell.sheet >= 0) {
        releaseStoryGraph(extraCell);
        extraCell = cutPortrait(cell.cell, cell.sheet);
    }
}

void TalkFioraAfterA::stepMotion() {
    // The defeated rival turns and walks out to the right.
    portraitFlip[1] = true;
    portraitX[1] += 6;
    if (portraitX[1] >= 640) {
        motionState = 0;
        applyChanges(6);
    }
}

void TalkFioraAfterA::draw() {
    DrawGraphMirrored(extraX, 120, extraCell, 1);
    Talk::draw();
}

// ---- Endings ----

EndingTalk::EndingTalk(std::shared_ptr<Loader> loader, int character, int pages)
    : Talk(std::move(loader)), character_(character) {
    epiloguePageCount = pages;
}

void EndingTalk::load() {
    epilogueBackground = loader->image(435 + 2 * character_);
    epilogueSheet = loader->image(436 + 2 * character_);
}

// ---- Factory ----

namespace {

template <class Script>
std::shared_ptr<Talk> make(std::shared_ptr<Loader> loader) {
    return std::make_shared<Script>(std::move(loader));
}

struct ScriptMaker {
    const char* name;
    std::shared_ptr<Talk> (*make)(std::shared_ptr<Loader>);
};

#define KAVORIN_SCRIPT(Name) {#Name, &make<Name>}
const ScriptMaker kMakers[] = {
    KAVORIN_SCRIPT(TalkKessaP), KAVORIN_SCRIPT(TalkKessaA), KAVORIN_SCRIPT(TalkKessaB),
    KAVORIN_SCRIPT(TalkKessaC), KAVORIN_SCRIPT(TalkKessaD), KAVORIN_SCRIPT(TalkKessaAfterA),
    KAVORIN_SCRIPT(TalkKessaAfterB), KAVORIN_SCRIPT(TalkKessaAfterC), KAVORIN_SCRIPT(TalkKessaAfterD),
    KAVORIN_SCRIPT(TalkPelunP), KAVORIN_SCRIPT(TalkPelunA), KAVORIN_SCRIPT(TalkPelunB),
    KAVORIN_SCRIPT(TalkPelunC), KAVORIN_SCRIPT(TalkPelunD), KAVORIN_SCRIPT(TalkPelunAfterA),
    KAVORIN_SCRIPT(TalkPelunAfterB), KAVORIN_SCRIPT(TalkPelunAfterC), KAVORIN_SCRIPT(TalkPelunAfterD),
    KAVORIN_SCRIPT(TalkFioraP), KAVORIN_SCRIPT(TalkFioraA), KAVORIN_SCRIPT(TalkFioraB),
    KAVORIN_SCRIPT(TalkFioraC), KAVORIN_SCRIPT(TalkFioraD), KAVORIN_SCRIPT(TalkFioraAfterA),
    KAVORIN_SCRIPT(TalkFioraAfterB), KAVORIN_SCRIPT(TalkFioraAfterC), KAVORIN_SCRIPT(TalkFioraAfterD),
    KAVORIN_SCRIPT(TalkVellisP), KAVORIN_SCRIPT(TalkVellisA), KAVORIN_SCRIPT(TalkVellisB),
    KAVORIN_SCRIPT(TalkVellisC), KAVORIN_SCRIPT(TalkVellisD), KAVORIN_SCRIPT(TalkVellisAfterA),
    KAVORIN_SCRIPT(TalkVellisAfterB), KAVORIN_SCRIPT(TalkVellisAfterC), KAVORIN_SCRIPT(TalkVellisAfterD),
    KAVORIN_SCRIPT(TalkObrenP), KAVORIN_SCRIPT(TalkObrenA), KAVORIN_SCRIPT(TalkObrenB),
    KAVORIN_SCRIPT(TalkObrenC), KAVORIN_SCRIPT(TalkObrenD), KAVORIN_SCRIPT(TalkObrenAfterA),
    KAVORIN_SCRIPT(TalkObrenAfterB), KAVORIN_SCRIPT(TalkObrenAfterC), KAVORIN_SCRIPT(TalkObrenAfterD),
    KAVORIN_SCRIPT(TalkQuenP), KAVORIN_SCRIPT(TalkQuenA), KAVORIN_SCRIPT(TalkQuenB),
    KAVORIN_SCRIPT(TalkQuenC), KAVORIN_SCRIPT(TalkQuenD), KAVORIN_SCRIPT(TalkQuenAfterA),
    KAVORIN_SCRIPT(TalkQuenAfterB), KAVORIN_SCRIPT(TalkQuenAfterC), KAVORIN_SCRIPT(TalkQuenAfterD),
};
#undef KAVORIN_SCRIPT

}  // namespace

std::shared_ptr<Talk> makeTalkScript(const char* name, std::shared_ptr<Loader> loader) {
    for (const ScriptMaker& maker : kMakers) {
        if (std::strcmp(maker.name, name) == 0) return maker.make(std::move(loader));
    }
    return nullptr;
}
