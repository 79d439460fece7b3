// The conversation base: portrait slots, talk window and page text, and the ending sequence.
#include "story/talk.h"

#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "graphics/graphics.h"
#include "sound/sound.h"
#include "story/story_release.h"
#include "story/story_sound.h"

namespace {

constexpr int kTalkWindowImage = 137;
constexpr int kStaffSheetImage = 433;
constexpr int kStaffBackgroundImage = 434;
constexpr int kPageSound = 15;
constexpr int kEndingMusic = 10;

constexpr int kPortraitWidth = 160;
constexpr int kPortraitHeight = 256;
constexpr int kEpilogueRowWidth = 528;
constexpr int kEpilogueRowHeight = 80;
constexpr int kStaffBackgroundEnd = -4800;
constexpr int kStaffTextEnd = -19200;

}  // namespace

Talk::Talk(std::shared_ptr<Loader> loaderIn) : loader(std::move(loaderIn)) {}

Talk::~Talk() {
    // The sheets belong to the Loader; only the portrait cells in the slots are the base's.
    for (int& image : portraitImage) releaseStoryGraph(image);
}

void Talk::load() {}

void Talk::draw() {
    drawPortraits();
    drawWindow();
}

void Talk::drawPortraits() {
    for (int i = 0; i < 4; ++i) {
        if (portraitImage[i] == 0) continue;
        // Left slots face right by default (drawn mirrored); a set flip turns a slot the other way.
        bool mirrored = (i == 0 || i == 2) ? !portraitFlip[i] : portraitFlip[i];
        if (mirrored) {
            DrawGraphMirrored(portraitX[i], portraitY[i], portraitImage[i], 1);
        } else {
            DrawGraphAt(portraitX[i], portraitY[i], portraitImage[i], 1);
        }
    }
}

int Talk::pageTextX() const {
    switch (windowMode) {
        case 0: case 1: return 140;
        case 2: return 12;
        case 3: return 268;
        default: return -1;
    }
}

void Talk::drawWindow() {
    const int window = loader->image(kTalkWindowImage);
    switch (windowMode) {
        case 0: DrawGraphAt(128, 64, window, 1); break;
        case 1: DrawGraphMirrored(128, 64, window, 1); break;
        case 2: DrawGraphAt(0, 64, window, 1); break;
        case 3: DrawGraphMirrored(256, 64, window, 1); break;
        default: return;
    }
    // Drawn straight from the sheet: cutting a graph a frame would fill the graph table on a long read.
    DrawGraphPart(pageTextX(), kPageTextY, 0, page * kPageHeight, kPageWidth, kPageHeight, textSheet, 1, 0);
}

int Talk::cutPortrait(int cell, int sheetEntry) const {
    return DeriveSubGraph(kPortraitWidth * cell, 0, kPortraitWidth, kPortraitHeight, loader->image(sheetEntry));
}

bool Talk::decidePressed() const { return inputPressed(0, kButtonFirst); }

void Talk::playPageSound() const { playEffect(loader->sound(kPageSound)); }

void Talk::replacePortrait(int slot, int sheetEntry, int cell) {
    releaseStoryGraph(portraitImage[slot]);
    portraitImage[slot] = cutPortrait(cell, sheetEntry);
}

bool Talk::stepEpilogue() {
    keepMusicPlaying(loader->sound(kEndingMusic));
    switch (endingState) {
        case 2:
            advanceEpiloguePage();
            break;
        case 1:
            veilAlpha += 5;
            if (veilAlpha >= 255) endingState = 0;
            break;
        case 0:
            veilAlpha -= 5;
            if (veilAlpha <= 0) endingState = 3;
            break;
        case 3:
            return scrollStaffRoll();
        default:
            break;
    }
    return false;
}

void Talk::advanceEpiloguePage() {
    if (!decidePressed()) return;
    ++page;
    playPageSound();
    if (page >= epiloguePageCount) endingState = 1;
}

bool Talk::scrollStaffRoll() {
    if (staffBackgroundY > kStaffBackgroundEnd) staffBackgroundY -= 2;
    if (staffTextY > kStaffTextEnd) staffTextY -= 10;
    if (staffBackgroundY <= kStaffBackgroundEnd && staffTextY <= kStaffTextEnd) return decidePressed();
    return false;
}

void Talk::drawEpilogue() {
    if (endingState == 1 || endingState == 2) {
        DrawGraphAt(0, 0, epilogueBackground, 0);
        // During the darkening the page is one past the last row; a row below the sheet draws nothing.
        DrawGraphPart(60, 396, 0, page * kEpilogueRowHeight, kEpilogueRowWidth, kEpilogueRowHeight, epilogueSheet, 1,
                      0);
    } else {
        DrawGraphAt(0, staffBackgroundY / 10, loader->image(kStaffBackgroundImage), 0);
        SetViewportRect(0, 110, 640, 360);
        DrawGraphAt(0, staffTextY / 10, loader->image(kStaffSheetImage), 1);
        SetViewportRect(0, 0, 640, 480);
    }
    SetBlendMode(1, veilAlpha);
    DrawRectangle(0, 0, 640, 480, 0, 1);
    SetBlendMode(0, 255);
}
