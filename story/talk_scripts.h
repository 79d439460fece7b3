// The 54 story conversation scripts. Most are only their rows (TableTalk); the code-driven ones swap cells as
// pages are left, four move figures of their own, and the six endings run the base's epilogue and staff roll.
#pragma once

#include <memory>

#include "story/talk.h"
#include "story/talk_table.h"

// A script that turns its page on decide and, as it leaves a page, swaps cells and window modes by its change
// rows; the cells live in the slots and the base releases them.
class ChangeTalk : public Talk {
public:
    ChangeTalk(std::shared_ptr<Loader> loader, const char* name);
    bool update() override;
    void load() override;

    const story::TalkMember& member() const { return *member_; }
    int motionState = 0;

protected:
    // Applies the change rows for a page just left (cells into portrait slots 0-3).
    void applyChanges(int leftPage);
    // One step of a running motion; the base has none.
    virtual void stepMotion() {}
    // Called for an accepted press before the change rows; may start a motion.
    virtual void onPress(int leftPage) { (void)leftPage; }

    const story::TalkMember* member_;
};

class TalkKessaA : public ChangeTalk {
public:
    explicit TalkKessaA(std::shared_ptr<Loader> loader);

protected:
    void onPress(int leftPage) override;
    void stepMotion() override;
};

class TalkKessaAfterA : public ChangeTalk {
public:
    explicit TalkKessaAfterA(std::shared_ptr<Loader> loader) : ChangeTalk(std::move(loader), "TalkKessaAfterA") {}
};

class TalkPelunA : public ChangeTalk {
public:
    explicit TalkPelunA(std::shared_ptr<Loader> loader) : ChangeTalk(std::move(loader), "TalkPelunA") {}
};

class TalkPelunAfterA : public ChangeTalk {
public:
    explicit TalkPelunAfterA(std::shared_ptr<Loader> loader) : ChangeTalk(std::move(loader), "TalkPelunAfterA") {}
};

// Pelun and Kessa trade slots page by page; the script keeps its eight cells and only lends them to the slots.
class TalkPelunAfterC : public Talk {
public:
    explicit TalkPelunAfterC(std::shared_ptr<Loader> loader);
    ~TalkPelunAfterC() override;
    bool update() override;
    void load() override;

private:
    void fillSlots();
    int pelunCells_[4] = {0, 0, 0, 0};
    int kessaCells_[4] = {0, 0, 0, 0};
    int modes_[4] = {0, 0, 0, 0};
};

// Kessa's prologue: she walks in and stops twice, a visitor runs across throwing items, a light flashes, and she
// walks out.
class TalkKessaP : public TableTalk {
public:
    explicit TalkKessaP(std::shared_ptr<Loader> loader);
    ~TalkKessaP() override;
    bool update() override;
    void load() override;
    void draw() override;

    struct Item {
        int x, y, vx, vy;
        bool active;
    };
    Item items[6] = {};
    int counter = 0;
    int throwPose = 0;
    int figureState = 1;  // 0 idle, 1 entrance, 2 visitor, 3 right-in, 4 light, 5 walk-out

private:
    void stepEntrance();
    void stepVisitor();
    void releaseVisitor();
    int walking_ = 0, standing_ = 0;
    int visitorStanding_ = 0, visitorThrowing_ = 0;
};

// Pelun's prologue: the visitor comes in, throws an item over the top, and walks out.
class TalkPelunP : public TableTalk {
public:
    explicit TalkPelunP(std::shared_ptr<Loader> loader);
    bool update() override;
    void draw() override;

    int figureState = 1;  // 0 idle, 1 right-in, 2 walk-out, 3 throw
    int angle = 0;
    double itemX, itemY;
};

// Fiora's stage-1 talks, with Pobb as an extra figure that the script owns.
class TalkFioraA : public ChangeTalk {
public:
    explicit TalkFioraA(std::shared_ptr<Loader> loader);
    ~TalkFioraA() override;
    void load() override;
    void draw() override;
    int extraX = -48;
    int extraCell = 0;

protected:
    void onPress(int leftPage) override;
    void stepMotion() override;
};

class TalkFioraAfterA : public ChangeTalk {
public:
    explicit TalkFioraAfterA(std::shared_ptr<Loader> loader);
    ~TalkFioraAfterA() override;
    void load() override;
    void draw() override;
    int extraX = -48;
    int extraCell = 0;

protected:
    void onPress(int leftPage) override;
    void stepMotion() override;
};

// An ending: epilogue pages over the character's picture, the veil, then the staff roll.
class EndingTalk : public Talk {
public:
    EndingTalk(std::shared_ptr<Loader> loader, int character, int pages);
    bool update() override { return stepEpilogue(); }
    void load() override;
    void draw() override { drawEpilogue(); }

private:
    int character_;
};

#define KAVORIN_ENDING_TALK(Name, character, pages)                                                     \
    class Name : public EndingTalk {                                                                    \
    public:                                                                                             \
        explicit Name(std::shared_ptr<Loader> loader) : EndingTalk(std::move(loader), character, pages) {} \
    }
KAVORIN_ENDING_TALK(TalkKessaAfterD, 0, 8);
KAVORIN_ENDING_TALK(TalkPelunAfterD, 1, 7);
KAVORIN_ENDING_TALK(TalkFioraAfterD, 2, 8);
KAVORIN_ENDING_TALK(TalkVellisAfterD, 3, 8);
KAVORIN_ENDING_TALK(TalkObrenAfterD, 4, 7);
KAVORIN_ENDING_TALK(TalkQuenAfterD, 5, 8);
#undef KAVORIN_ENDING_TALK

// The scripts that are only their rows.
#define KAVORIN_TABLE_TALK(Name)                                                                     \
    class Name : public TableTalk {                                                                  \
    public:                                                                                          \
        explicit Name(std::shared_ptr<Loader> loader) : TableTalk(std::move(loader), #Name) {}       \
    }
KAVORIN_TABLE_TALK(TalkKessaB);
KAVORIN_TABLE_TALK(TalkKessaC);
KAVORIN_TABLE_TALK(TalkKessaD);
KAVORIN_TABLE_TALK(TalkKessaAfterB);
KAVORIN_TABLE_TALK(TalkKessaAfterC);
KAVORIN_TABLE_TALK(TalkPelunB);
KAVORIN_TABLE_TALK(TalkPelunC);
KAVORIN_TABLE_TALK(TalkPelunD);
KAVORIN_TABLE_TALK(TalkPelunAfterB);
KAVORIN_TABLE_TALK(TalkFioraP);
KAVORIN_TABLE_TALK(TalkFioraB);
KAVORIN_TABLE_TALK(TalkFioraC);
KAVORIN_TABLE_TALK(TalkFioraD);
KAVORIN_TABLE_TALK(TalkFioraAfterB);
KAVORIN_TABLE_TALK(TalkFioraAfterC);
KAVORIN_TABLE_TALK(TalkVellisP);
KAVORIN_TABLE_TALK(TalkVellisA);
KAVORIN_TABLE_TALK(TalkVellisB);
KAVORIN_TABLE_TALK(TalkVellisC);
KAVORIN_TABLE_TALK(TalkVellisD);
KAVORIN_TABLE_TALK(TalkVellisAfterA);
KAVORIN_TABLE_TALK(TalkVellisAfterB);
KAVORIN_TABLE_TALK(TalkVellisAfterC);
KAVORIN_TABLE_TALK(TalkObrenP);
KAVORIN_TABLE_TALK(TalkObrenA);
KAVORIN_TABLE_TALK(TalkObrenB);
KAVORIN_TABLE_TALK(TalkObrenC);
KAVORIN_TABLE_TALK(TalkObrenD);
KAVORIN_TABLE_TALK(TalkObrenAfterA);
KAVORIN_TABLE_TALK(TalkObrenAfterB);
KAVORIN_TABLE_TALK(TalkObrenAfterC);
KAVORIN_TABLE_TALK(TalkQuenP);
KAVORIN_TABLE_TALK(TalkQuenA);
KAVORIN_TABLE_TALK(TalkQuenB);
KAVORIN_TABLE_TALK(TalkQuenC);
KAVORIN_TABLE_TALK(TalkQuenD);
KAVORIN_TABLE_TALK(TalkQuenAfterA);
KAVORIN_TABLE_TALK(TalkQuenAfterB);
KAVORIN_TABLE_TALK(TalkQuenAfterC);
#undef KAVORIN_TABLE_TALK

// The script class for a member row's name; null for an unknown name.
std::shared_ptr<Talk> makeTalkScript(const char* name, std::shared_ptr<Loader> loader);
