// The game's one resource table: 447 image entries and 47 sound entries, each a runtime handle beside a fixed
// file path (game/shell/resource_paths.h). Everything that draws or plays addresses entries by number through the one
// Loader the SceneController creates and shares; entries are loaded and released in groups, and a loading screen
// with a turning mark is drawn after every image a group loads.
//
// Use: loader->image(n) / loader->sound(n) give the handle of entry n (-1 before its first load, after a failed
// load or once released). Groups take a release flag: false loads, true releases the same entries. Where a group
// depends on the characters it takes character numbers 0..6 (Kessa, Pelun, Fiora, Vellis, Obren, Quen, Wix).
#pragma once

#include "game/shell/resource_paths.h"

class Player;

class Loader {
public:
    Loader();
    virtual ~Loader();  // releases nothing: the program's end releases every graph and sound at once

    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;

    int image(int entry) const;  // -1 for an entry out of range or not loaded
    int sound(int entry) const;

    // Degrees, +10 for every image a group loads.
    int markAngle() const { return markAngle_; }

    // While set, the battle group's next release is skipped and its next load only clears the flag: the match
    // scene sets it before offering the next round, so the battle resources stay loaded between rounds.
    bool keepFlag() const { return keepFlag_; }
    void setKeepFlag(bool keep) { keepFlag_ = keep; }

    // One entry. Loading an image turns the mark and draws the loading screen; loading a sound sets its volume
    // from masterVolume. Loading first releases whatever live graph or sound the entry still holds.
    void loadImage(int index, bool release);
    void loadSound(int index, bool release);

    // Title, character choice and options images, their sounds, and the loading screen's own images 0-2
    // (reloaded in both modes, so a release after a window-mode switch brings the loading screen back).
    void loadCommon(bool release);
    // The match's group for the two sides' characters; the stage follows side 1.
    void loadBattle(bool release, int character0, int character1);
    void loadBattle(bool release, const Player& side0, const Player& side1);
    // One side's skill images; a character outside 0..6 has none.
    void loadSkillImages(bool release, int character);
    void loadSkillImages(bool release, const Player& player);
    // The story conversation's group: portraits, sheets, background and window for the character and partner at
    // a stage (0..3); with `after` set at stage 4 the ending group instead.
    void loadCharacterSet(int stage, bool release, int character, int partner, bool after);
    // The extra story scene's group.
    void loadExtraScene(bool release);

    // One frame of the loading screen, straight to the window and unpaced: background, the mark at its angle, the
    // text.
    void drawLoadingScreen();

private:
    void loadImageQuietly(int index, const char* path);
    void loadPortraits(int stage, bool release, int character);

    int markAngle_ = 0;
    int imageHandles_[kImageEntryCount];
    int soundHandles_[kSoundEntryCount];
    bool keepFlag_ = false;
};
