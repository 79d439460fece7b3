// The extra story scene, hosted by Delphy: an opening text, then a menu of short texts, a sub-menu of three longer
// texts, a music room for the game's eleven tracks, a gallery of thirteen pictures and a chime game. All text is
// pre-rendered on sheets, one 460 x 84 row a page.
#pragma once

#include <memory>

#include "game/shell/scene.h"

class SceneDelphy : public Scene {
public:
    explicit SceneDelphy(std::shared_ptr<Loader> loader);
    ~SceneDelphy() override;

    void update() override;
    void loadResources(bool release) override;
    void draw() override;

    enum State {
        kText0 = 0, kText1 = 1, kSubMenu = 2, kMusicRoom = 3, kGallery = 4, kChimeGame = 5, kText6 = 6, kText7 = 7,
        kFadeIn = 8, kMenu = 9, kOpening = 10, kSubText0 = 11, kSubText1 = 12, kSubText2 = 13, kFadeOut = 14,
    };
    static constexpr int kNoTrack = 11;

    int state() const { return state_; }
    int page() const { return page_; }
    int menuCursor() const { return menuCursor_; }
    int subCursor() const { return subCursor_; }
    int musicCursor() const { return musicCursor_; }
    int playingTrack() const { return playingTrack_; }
    int chimeTarget() const { return chimeTarget_; }
    int chimesRung() const { return chimesRung_; }
    int frameCounter() const { return frameCounter_; }
    int fade() const { return fade_; }

    // The text sheet (image entry) a state shows, and its page count (0 for the states without pages).
    static int textSheet(int state);
    static int textPages(int state);

private:
    void stepText();
    void stepMusicRoom();
    void stepGallery();
    void stepChimeGame();
    void stopTrack();
    void drawFigures();
    void drawHighlight(int cursor);
    void drawTextRow(bool withRow);
    void drawMusicRoom();
    void drawChimes();

    int figurePicture_ = 0;
    int state_ = kFadeIn;
    int menuCursor_ = 0;
    int subCursor_ = 0;
    int musicCursor_ = 0;
    int playingTrack_ = kNoTrack;
    int fade_ = 0;
    int page_ = 0;
    int highlightAlpha_ = 60;
    int highlightStep_ = 1;
    int stripOffset_ = 0;
    int chimeTarget_ = -1;
    int chimesRung_ = 0;
    int frameCounter_ = 0;
};
