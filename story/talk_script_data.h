// The 54 story conversations as data: one member row per script (who talks, which pages, how it starts and which
// presses start a figure motion), the per-page portrait and window rows in sheet:cell notation, and the motion
// table that the shared page step walks. Only a handful of scripts add code of their own (talk_scripts.h).
#pragma once

#include <string>
#include <vector>

namespace story {

// Kind of conversation: the prologue, the four pre-match talks, the three after-match talks and the ending.
enum class TalkKind { P, A, B, C, D, AfterA, AfterB, AfterC, AfterD };

// Story stage that a kind runs at (0 prologue, 1..4) and whether it follows a won match.
int TalkKindStage(TalkKind kind);
bool TalkKindAfterMatch(TalkKind kind);

// How a script is driven: the shared table step, its own page code, the table step plus figures of its own, or the
// ending sequence of the base.
enum class TalkDriver { Table, Code, Figures, Ending };

// Figure motions. A motion moves one or two portrait slots a fixed step a frame until its stop rule holds; while it
// runs the window is hidden and decide is ignored.
enum class TalkMotion {
    None,
    RightIn,
    LeftIn,
    LeftHalfIn,
    LeftOn,
    PairLeftIn,
    PairRightIn,
    LeftOut,
    PobbOut,
    RightOutOne,
    RightOutPair,
    LeftInThenFaceSlot1,   // left-in; at its end slot 1 turns back
    TurnedWalkIn,          // slot 0 walks in turned from the right edge to 528
    TurnedWalkOn,          // slot 0 walks on from 528 to 70, then turns back
    LeftOnThenRightIn,
    PairLeftInThenWindow,  // pair-left-in that shows the window (mode 0) on its last frame
    LeftOnWithoutSlots13,  // left-on with slots 1 and 3 empty while it runs
    LeftOnWithoutSlot1,    // left-on with slot 1 empty while it runs
    Slot3WalkOut,          // slot 3 walks out to the right, turned; its press is silent
    LeftOutToEnd,          // left-out that turns the page by itself when it has ended
    FaceSlot1,             // no motion: the press only turns slot 1 back
};

// How a motion tests its end: reach (step, then stop once the slot stands on or past the target), while-before
// (step while the test holds before the step, else stop), or step-then-snap (step while beyond the target, then
// put the slot on it).
enum class TalkStopRule { Reach, WhileAtMost, WhileBelow, WhileNotBelow, SnapAbove, Instant };

// What a motion does on the frame it ends.
enum class TalkMotionEnd { Nothing, FaceMovingSlot, FaceSlot1, NextMotion, TurnPage, ShowWindow0 };

struct TalkMotionRow {
    TalkMotion motion;
    const char* name;
    int slot;          // the slot whose x is tested
    int partnerSlot;   // moves with it, -1 none
    int step;          // pixels a frame (signed)
    int target;
    TalkStopRule rule;
    bool turnedWhileMoving;
    unsigned emptySlots;  // bit i: slot i shows nothing while the motion runs
    bool silentPress;     // the press that starts it plays no page sound
    TalkMotionEnd end;
    TalkMotion next;  // with NextMotion
};

const TalkMotionRow& MotionRowOf(TalkMotion motion);
const std::vector<TalkMotionRow>& MotionTable();

constexpr int kBaseSlotX[4] = {70, 410, -48, 528};

struct TalkPress {
    int page;  // the press that makes this page
    TalkMotion motion;
};

struct TalkMember {
    const char* name;
    int character;
    TalkKind kind;
    TalkDriver driver;
    int firstPage;
    int lastPage;
    int endPage;
    int startWindowMode;  // 5 hidden
    int slotX[4];
    bool turned[4];
    TalkMotion startMotion;
    TalkPress presses[3];  // unused entries have motion None
    int epiloguePages;     // endings only
};

const std::vector<TalkMember>& TalkMembers();
// The member row of a class name, or null.
const TalkMember* FindTalkMember(const char* name);
// The member row for a character, stage and after-match flag, or null (no script: character 6 and the like).
const TalkMember* FindTalkMember(int character, int stage, bool afterMatch);

// Text sheet image entry of a script (pre-match and after-match of one stage share it); -1 for an ending.
int TalkTextSheet(const TalkMember& member);

// One portrait cell: image entry of the sheet and cell number; sheet -1 is an empty slot.
struct TalkCell {
    int sheet;
    int cell;
};

// The per-page rows of a table-driven script, as written down: "169:3, 169:5 x3, -", the third row prefixed with
// the slot it fills ("s2 ..." or "s3 ...").
struct TalkPageRows {
    const char* name;
    const char* slot0;
    const char* slot1;
    const char* third;
    const char* modes;
};

const std::vector<TalkPageRows>& TalkPageTable();

// The page changes of the code-driven and figure scripts: the cell cut into a slot (or figure) and the window mode
// set when a page is left. Page -1 is what load cuts. Slots 0-3 are portrait slots; 4 and up name a script's own
// figures (its entrance, visitor or extra figure cells).
struct TalkPageChange {
    const char* name;
    int leftPage;
    int slot;          // -1: no cell change
    const char* cell;  // sheet:cell
    int mode;          // -1: window mode unchanged
};

constexpr int kFigureSlot = 4;

const std::vector<TalkPageChange>& TalkChangeTable();
// The cell of a script's change row for (page left, slot); sheet -1 when there is none.
TalkCell FindTalkChangeCell(const char* name, int leftPage, int slot);
TalkCell ParseTalkCell(const char* text);
const TalkPageRows* FindTalkPageRows(const char* name);

// Parsed rows: one entry a page from the first page on.
struct TalkPages {
    std::vector<TalkCell> slot0;
    std::vector<TalkCell> slot1;
    int thirdSlot = -1;  // 2, 3 or -1 none
    std::vector<TalkCell> third;
    std::vector<int> modes;
};

// Expands a row; false (with the reason) when a token is malformed.
bool ParseTalkCells(const std::string& row, std::vector<TalkCell>* cells, std::string* error);
bool ParseTalkPages(const TalkPageRows& rows, TalkPages* pages, std::string* error);

}  // namespace story
