// Talk: the shared base of every story conversation script. It holds the four portrait slots, the window mode and
// the page, draws a page (portraits, talk window, the page's text cut from the script's text sheet), and runs the
// ending sequence (epilogue pages, veil, staff roll) that the six ending scripts use. SceneTalk owns one.
#pragma once

#include <memory>

class Loader;

class Talk {
public:
    explicit Talk(std::shared_ptr<Loader> loader);
    virtual ~Talk();

    Talk(const Talk&) = delete;
    Talk& operator=(const Talk&) = delete;

    // One frame; true once the conversation is over (the scene then stops calling it).
    virtual bool update() = 0;
    // Builds the script's images once the conversation group is loaded.
    virtual void load();
    // Portraits, then the window and page.
    virtual void draw();

    virtual void drawEpilogue();
    virtual bool stepEpilogue();
    virtual void advanceEpiloguePage();
    virtual bool scrollStaffRoll();

    void drawPortraits();
    void drawWindow();

    // A new 160 x 256 graph of cell n of a portrait sheet (an image entry); the caller owns it.
    int cutPortrait(int cell, int sheetEntry) const;

    // Where the page text is drawn in the current window mode, or -1 while the window is hidden.
    int pageTextX() const;

    static constexpr int kPageWidth = 360;
    static constexpr int kPageHeight = 140;
    static constexpr int kPageTextY = 69;
    static constexpr int kHiddenWindow = 5;

    std::shared_ptr<Loader> loader;
    int page = 0;
    int windowMode = 0;
    int portraitX[4] = {70, 410, -48, 528};
    int portraitY[4] = {120, 120, 120, 120};
    int portraitImage[4] = {0, 0, 0, 0};  // owned by the base unless a script empties the slots first
    bool portraitFlip[4] = {false, false, false, false};
    int textSheet = -1;  // the Loader's own handle, borrowed
    int epilogueBackground = -1;  // borrowed from the Loader
    int epilogueSheet = -1;       // borrowed from the Loader
    int staffBackgroundY = 0;
    int staffTextY = 0;
    int epiloguePageCount = 0;
    int veilAlpha = 0;
    int endingState = 2;  // 2 pages, 1 darkening, 0 lightening, 3 staff roll

protected:
    bool decidePressed() const;
    void playPageSound() const;
    // Releases the cell in a slot and cuts a new one into it.
    void replacePortrait(int slot, int sheetEntry, int cell);
};
