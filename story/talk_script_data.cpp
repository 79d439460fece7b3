// The conversation tables: members, per-page rows and motions, written as the story's writers lay them out
// (sheet:cell, "-" for an empty slot, "x5" for five pages alike), and the small parser that expands the rows.
#include "story/talk_script_data.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace story {

namespace {

using K = TalkKind;
using D = TalkDriver;
using M = TalkMotion;
using R = TalkStopRule;
using E = TalkMotionEnd;

constexpr int kHidden = 5;

// name, slot, partner, step, target, stop rule, turned while moving, empty slots, silent press, at end, next
const std::vector<TalkMotionRow> kMotions = {
    {M::None, "idle", -1, -1, 0, 0, R::Instant, false, 0, false, E::Nothing, M::None},
    {M::RightIn, "right-in", 1, -1, -5, 410, R::Reach, false, 0, false, E::Nothing, M::None},
    {M::LeftIn, "left-in", 0, -1, 5, 70, R::Reach, false, 0, false, E::Nothing, M::None},
    {M::LeftHalfIn, "left-half-in", 0, -1, 5, -40, R::Reach, false, 0, false, E::Nothing, M::None},
    {M::LeftOn, "left-on", 0, -1, 5, 70, R::Reach, false, 0, false, E::Nothing, M::None},
    {M::PairLeftIn, "pair-left-in", 0, 2, 5, 70, R::Reach, false, 0, false, E::Nothing, M::None},
    {M::PairRightIn, "pair-right-in", 1, 3, -5, 410, R::Reach, false, 0, false, E::Nothing, M::None},
    {M::LeftOut, "left-out", 0, -1, -5, -160, R::Reach, true, 0, false, E::Nothing, M::None},
    {M::PobbOut, "pobb-out", 2, -1, -5, -160, R::WhileNotBelow, true, 0, false, E::Nothing, M::None},
    {M::RightOutOne, "right-out (one)", 0, -1, 5, 640, R::WhileAtMost, false, 0, false, E::Nothing, M::None},
    {M::RightOutPair, "right-out (pair)", 1, 3, 5, 640, R::WhileAtMost, false, 0, false, E::Nothing, M::None},
    {M::LeftInThenFaceSlot1, "left-in, slot 1 turns back", 0, -1, 5, 70, R::Reach, false, 0, false, E::FaceSlot1,
     M::None},
    {M::TurnedWalkIn, "walk-in turned", 0, -1, -5, 528, R::Reach, true, 0, false, E::Nothing, M::None},
    {M::TurnedWalkOn, "walk-on turned", 0, -1, -5, 70, R::SnapAbove, true, 0, false, E::FaceMovingSlot, M::None},
    {M::LeftOnThenRightIn, "left-on, then right-in", 0, -1, 5, 70, R::Reach, false, 0, false, E::NextMotion,
     M::RightIn},
    {M::PairLeftInThenWindow, "pair-left-in, window at the end", 0, 2, 5, 70, R::Reach, false, 0, false,
     E::ShowWindow0, M::None},
    {M::LeftOnWithoutSlots13, "left-on, slots 1 and 3 empty", 0, -1, 5, 70, R::Reach, false, 0xA, false, E::Nothing,
     M::None},
    {M::LeftOnWithoutSlot1, "left-on, slot 1 empty", 0, -1, 5, 70, R::Reach, false, 0x2, false, E::Nothing, M::None},
    {M::Slot3WalkOut, "slot 3 walks out", 3, -1, 5, 640, R::WhileBelow, true, 0, true, E::Nothing, M::None},
    {M::LeftOutToEnd, "left-out, then the last page", 0, -1, -5, -160, R::Reach, true, 0, false, E::TurnPage,
     M::None},
    {M::FaceSlot1, "slot 1 turns back", -1, -1, 0, 0, R::Instant, false, 0, false, E::FaceSlot1, M::None},
};

constexpr int X0 = 70, X1 = 410, X2 = -48, X3 = 528;
constexpr bool F = false, T = true;

#define NO_PRESS {0, M::None}

// name, character, kind, driver, first page, last page, end page, starting window mode, slot x, turned, motion
// before the first page, presses, epilogue pages.
const std::vector<TalkMember> kMembers = {
    {"TalkKessaP", 0, K::P, D::Figures, 0, 10, 11, kHidden, {520, 640, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkKessaA", 0, K::A, D::Code, 0, 4, 5, 0, {X0, 650, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkKessaB", 0, K::B, D::Table, 0, 4, 5, kHidden, {X0, 640, X2, X3}, {F, F, F, F}, M::None, {{2, M::RightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkKessaC", 0, K::C, D::Table, 0, 5, 6, kHidden, {X0, 640, X2, X3}, {F, F, F, F}, M::None, {{2, M::RightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkKessaD", 0, K::D, D::Table, 0, 9, 10, 0, {X0, 640, X2, X3}, {F, F, F, F}, M::None, {{1, M::RightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkKessaAfterA", 0, K::AfterA, D::Code, 5, 9, 10, 1, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkKessaAfterB", 0, K::AfterB, D::Table, 5, 9, 10, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkKessaAfterC", 0, K::AfterC, D::Table, 6, 10, 11, 1, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkKessaAfterD", 0, K::AfterD, D::Ending, 0, 7, 8, 0, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 8},

    {"TalkPelunP", 1, K::P, D::Figures, 0, 3, 4, kHidden, {X0, 640, X2, X3}, {F, F, F, F}, M::RightIn, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkPelunA", 1, K::A, D::Code, 0, 5, 6, 0, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkPelunB", 1, K::B, D::Table, 0, 2, 3, kHidden, {-160, 640, X2, X3}, {F, F, F, F}, M::LeftIn, {{1, M::RightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkPelunC", 1, K::C, D::Table, 0, 8, 9, kHidden, {-160, X1, X2, X3}, {F, T, F, F}, M::LeftInThenFaceSlot1, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkPelunD", 1, K::D, D::Table, 0, 6, 7, kHidden, {648, 640, X2, X3}, {F, F, F, F}, M::TurnedWalkIn, {{1, M::TurnedWalkOn}, {3, M::RightIn}, NO_PRESS}, 0},
    {"TalkPelunAfterA", 1, K::AfterA, D::Code, 6, 10, 11, 1, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkPelunAfterB", 1, K::AfterB, D::Table, 3, 8, 9, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkPelunAfterC", 1, K::AfterC, D::Code, 9, 12, 13, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkPelunAfterD", 1, K::AfterD, D::Ending, 0, 6, 7, 0, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 7},

    {"TalkFioraP", 2, K::P, D::Table, 0, 6, 7, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkFioraA", 2, K::A, D::Figures, 0, 5, 6, 0, {X0, 650, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkFioraB", 2, K::B, D::Table, 0, 5, 6, kHidden, {-160, 640, -278, X3}, {F, F, F, F}, M::PairLeftIn, {{3, M::RightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkFioraC", 2, K::C, D::Table, 0, 5, 6, kHidden, {X0, 640, X2, X3}, {F, F, F, F}, M::None, {{1, M::RightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkFioraD", 2, K::D, D::Table, 0, 7, 8, kHidden, {-160, 640, -278, X3}, {F, F, F, F}, M::PairLeftInThenWindow, {{3, M::RightIn}, {7, M::PobbOut}, NO_PRESS}, 0},
    {"TalkFioraAfterA", 2, K::AfterA, D::Figures, 6, 10, 11, 1, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkFioraAfterB", 2, K::AfterB, D::Table, 6, 8, 9, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkFioraAfterC", 2, K::AfterC, D::Table, 6, 9, 10, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkFioraAfterD", 2, K::AfterD, D::Ending, 0, 7, 8, 0, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 8},

    {"TalkVellisP", 3, K::P, D::Table, 0, 5, 6, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {{5, M::LeftOutToEnd}, NO_PRESS, NO_PRESS}, 0},
    {"TalkVellisA", 3, K::A, D::Table, 0, 5, 6, kHidden, {-160, 640, X2, X3}, {F, F, F, F}, M::LeftIn, {{2, M::RightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkVellisB", 3, K::B, D::Table, 0, 5, 6, kHidden, {-160, 640, X2, X3}, {F, F, F, F}, M::LeftHalfIn, {{1, M::LeftOnThenRightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkVellisC", 3, K::C, D::Table, 0, 6, 7, kHidden, {X0, 640, X2, X3}, {F, F, F, F}, M::None, {{1, M::RightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkVellisD", 3, K::D, D::Table, 0, 5, 6, kHidden, {X0, 640, X2, X3}, {F, F, F, F}, M::None, {{1, M::RightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkVellisAfterA", 3, K::AfterA, D::Table, 6, 9, 10, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkVellisAfterB", 3, K::AfterB, D::Table, 6, 9, 10, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkVellisAfterC", 3, K::AfterC, D::Table, 7, 10, 11, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkVellisAfterD", 3, K::AfterD, D::Ending, 0, 7, 8, 0, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 8},

    {"TalkObrenP", 4, K::P, D::Table, 0, 9, 10, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {{9, M::LeftOut}, NO_PRESS, NO_PRESS}, 0},
    {"TalkObrenA", 4, K::A, D::Table, 0, 5, 6, kHidden, {X0, 640, X2, X3}, {F, F, F, F}, M::None, {{2, M::RightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkObrenB", 4, K::B, D::Table, 0, 5, 6, kHidden, {-160, X1, X2, X3}, {F, F, F, F}, M::None, {{1, M::LeftIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkObrenC", 4, K::C, D::Table, 0, 5, 6, kHidden, {X0, 640, X2, X3}, {F, F, F, F}, M::None, {{1, M::RightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkObrenD", 4, K::D, D::Table, 0, 6, 7, kHidden, {-160, 640, X2, X3}, {F, F, F, F}, M::RightIn, {{1, M::LeftIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkObrenAfterA", 4, K::AfterA, D::Table, 6, 8, 9, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkObrenAfterB", 4, K::AfterB, D::Table, 6, 8, 9, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkObrenAfterC", 4, K::AfterC, D::Table, 6, 8, 9, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkObrenAfterD", 4, K::AfterD, D::Ending, 0, 6, 7, 0, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 7},

    {"TalkQuenP", 5, K::P, D::Table, 0, 7, 7, kHidden, {-160, X1, X2, X3}, {F, T, F, T}, M::LeftHalfIn, {{2, M::LeftOnWithoutSlots13}, {4, M::RightOutPair}, {7, M::RightOutOne}}, 0},
    {"TalkQuenA", 5, K::A, D::Table, 0, 8, 8, kHidden, {-160, X1, X2, X3}, {F, T, F, F}, M::LeftIn, {{6, M::FaceSlot1}, {8, M::Slot3WalkOut}, NO_PRESS}, 0},
    {"TalkQuenB", 5, K::B, D::Table, 0, 4, 5, kHidden, {-160, X1, X2, X3}, {F, F, F, F}, M::LeftIn, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkQuenC", 5, K::C, D::Table, 0, 9, 10, kHidden, {-160, 640, X2, 758}, {F, F, F, F}, M::LeftIn, {{2, M::PairRightIn}, NO_PRESS, NO_PRESS}, 0},
    {"TalkQuenD", 5, K::D, D::Table, 0, 7, 8, kHidden, {-160, X1, X2, X3}, {F, F, F, F}, M::LeftHalfIn, {{3, M::LeftOnWithoutSlot1}, NO_PRESS, NO_PRESS}, 0},
    {"TalkQuenAfterA", 5, K::AfterA, D::Table, 8, 9, 10, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkQuenAfterB", 5, K::AfterB, D::Table, 5, 7, 8, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkQuenAfterC", 5, K::AfterC, D::Table, 10, 11, 12, kHidden, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 0},
    {"TalkQuenAfterD", 5, K::AfterD, D::Ending, 0, 7, 8, 0, {X0, X1, X2, X3}, {F, F, F, F}, M::None, {NO_PRESS, NO_PRESS, NO_PRESS}, 8},
};

#undef NO_PRESS

// Per-page rows of the scripts that the shared step drives (and of the two figure scripts that use it too).
const std::vector<TalkPageRows> kPageRows = {
    {"TalkKessaB", "169:3, 169:5, 169:5, 169:5, 169:9", "-, -, 188:0, 188:8, 188:8", "", "0,0,1,1,0"},
    {"TalkKessaC", "169:5, 169:0, 169:0, 170:12, 170:1, 170:1", "-, -, 183:0, 183:0, 183:0, 184:0", "", "0,3,1,0,0,1"},
    {"TalkKessaD", "170:7, 170:7, 168:5, 168:3, 168:3, 168:5, 168:3, 168:3, 169:4, 169:5", "-, 192:8, 192:8, 192:3, 192:2, 192:2, 192:4, 192:5, 192:5, 192:5", "", "0,1,0,1,1,0,1,1,0,0"},
    {"TalkKessaP", "169:2, 169:2, 168:11, 168:11, 168:12 x5, 169:0, 169:0", "-, -, -, 173:0, 173:8, 173:8, 173:8, 173:9, 173:0, 173:9, 173:0", "", "0,2,0,1,0,0,0,1,1,0,1"},
    {"TalkKessaAfterB", "168:5, 168:5, 170:8, 170:8, 169:2", "189:1 x3, 189:0, 189:0", "", "0,1,0,1,0"},
    {"TalkKessaAfterC", "168:4, 168:8 x3, 168:2", "185:1 x5", "", "1,0,0,1,0"},
    {"TalkPelunB", "176:2, 176:2, 176:5", "-, 192:0, 192:0", "", "0,1,0"},
    {"TalkPelunC", "174:2, 174:2, 175:2, 175:0, 175:2, 175:0, 175:0, 175:0, 175:1", "168:0, 170:8, 168:0, 170:11 x4, 170:8, 170:8", "", "0,1,0,1,0,1,0,1,0"},
    {"TalkPelunD", "174:0, 174:3, 174:2, 174:2, 174:5 x3", "-, -, -, 183:5, 183:5, 183:4, 184:0", "", "3,0,0,1,0,1,1"},
    {"TalkPelunP", "174:0, 174:0, 174:2, 174:4", "193:1, 193:1, -, -", "", "1,0,0,0"},
    {"TalkPelunAfterB", "174:8, 174:10 x4, 174:9", "195:0 x3, 195:1 x3", "", "1,0,0,1,1,0"},
    {"TalkFioraP", "178:1, 178:5, 178:5, 178:11 x4", "182:2, 182:2, 182:8, 182:2, 182:2, 182:0, 182:0", "s2 181:1 x4, 181:2, 181:2, 181:11", "1,0,1,0,2,1,2"},
    {"TalkFioraB", "178:8, 178:8, 178:0, 178:0, 178:8, 178:8", "-, -, -, 176:1, 176:1, 176:5", "s2 181:0 x6", "0,2,0,1,0,1"},
    {"TalkFioraC", "178:0, 178:3 x5", "-, 194:2, 192:5, 192:4, 192:4, 192:4", "s2 181:0 x4, 181:3, 181:0", "3,0,1,1,2,1"},
    {"TalkFioraD", "178:8 x5, 178:0 x3", "-, -, 187:3, 187:3, 188:0 x3, 187:5", "s2 181:0 x6, 181:6, 181:6", "0,2,3,0,1,0,2,1"},
    {"TalkFioraAfterB", "178:3 x3", "177:1 x3", "s2 181:4 x3", "0,1,1"},
    {"TalkFioraAfterC", "178:3 x4", "195:1 x4", "s2 181:0 x3, 181:9", "0,1,1,2"},
    {"TalkVellisP", "183:0, 183:2, 183:2, 183:0, 183:1, 183:1", "186:2, 186:2, 186:8 x4", "", "1,0,1,0,0,0"},
    {"TalkVellisA", "183:0, 183:6, 183:0, 183:0, 183:0, 184:0", "-, -, 194:2, 194:2, 192:10, 192:10", "", "0,0,1,0,1,0"},
    {"TalkVellisB", "183:0, 183:5, 183:5, 183:4, 183:4, 183:5", "-, 178:0, 178:3, 178:3, 178:8, 178:8", "", "2,0,1,0,1,0"},
    {"TalkVellisC", "183:0, 183:0, 183:8, 183:8, 183:10, 183:10, 183:5", "-, 187:0, 187:0, 187:2, 187:2, 187:8, 187:8", "", "0,1,0,1,0,1,0"},
    {"TalkVellisD", "183:1, 183:1, 183:0, 183:0, 183:2, 183:5", "-, 168:8, 168:8, 169:5, 169:5, 169:5", "", "0,1,0,1,0,0"},
    {"TalkVellisAfterA", "183:4 x3, 183:5", "195:0, 195:0, 195:1, 195:1", "", "1,0,1,0"},
    {"TalkVellisAfterB", "183:10, 183:10, 183:3, 183:3", "180:0 x4", "", "0,1,0,1"},
    {"TalkVellisAfterC", "183:8, 183:8, 183:4, 183:4", "189:0 x4", "", "0,1,0,1"},
    {"TalkObrenP", "188:0 x3, 188:8 x4, 187:8 x3", "190:2, 190:2, 190:1, 190:1, 190:3, 190:4, 190:5 x3, 190:2", "", "1,0,1,0,1,1,1,0,0,1"},
    {"TalkObrenA", "187:8 x3, 188:8, 188:8, 188:9", "-, -, 183:4, 183:4, 183:0, 183:0", "", "0,3,1,0,1,0"},
    {"TalkObrenB", "-, 187:0 x3, 187:4, 187:4", "169:4, 169:4, 169:3 x3, 168:3", "", "1,0,1,0,0,1"},
    {"TalkObrenC", "188:0, 188:0, 187:3, 187:3, 187:8, 187:3", "-, 176:0, 176:0, 176:10 x3", "", "0,1,0,1,0,0"},
    {"TalkObrenD", "-, 187:0 x3, 187:1, 187:2, 187:5", "178:2, 178:2, 178:1, 178:2 x3, 178:3", "", "1,0,1,1,0,0,0"},
    {"TalkObrenAfterA", "187:3, 188:8, 188:8", "185:1 x3", "", "1,0,1"},
    {"TalkObrenAfterB", "187:1, 187:0, 187:0", "171:0, 171:0, 171:1", "", "1,0,1"},
    {"TalkObrenAfterC", "187:0, 187:0, 187:2", "177:1, 177:0, 177:0", "", "0,1,0"},
    {"TalkQuenP", "194:2, 194:2, 194:0 x3, 192:5, 192:4, 192:4", "-, -, 179:0 x3, -, -, -", "s3 -, -, 181:8 x3, -, -, -", "2,2,1,3,0,0,0,5"},
    {"TalkQuenA", "193:1, 192:1 x3, 192:5 x5", "187:3 x3, 188:8 x6", "s3 183:4 x5, 183:0, 183:0, 183:2, 183:2", "0,0,3,1,0,3,1,3,5"},
    {"TalkQuenB", "194:1, 194:0, 194:0, 194:5, 194:5", "183:3 x4, 183:5", "", "0,0,1,0,1"},
    {"TalkQuenC", "192:4, 192:4, 194:5, 194:4 x3, 192:8, 192:8, 192:10, 192:10", "-, -, 178:3, 178:3, 178:5, 178:3 x4, 178:7", "s3 -, -, 181:3 x3, 181:6, 181:6, 181:3 x3", "0,3,0,0,1,3,0,3,0,1"},
    {"TalkQuenD", "192:8, 192:8, 192:0, 192:0, 194:0, 194:2 x3", "-, -, -, 174:2 x3, 174:6, 174:6", "", "2,2,2,1,0,0,1,1"},
    {"TalkQuenAfterA", "192:10, 192:10", "189:1, 189:0", "", "0,1"},
    {"TalkQuenAfterB", "192:8, 192:8, 192:4", "185:1 x3", "", "0,1,0"},
    {"TalkQuenAfterC", "192:3, 192:3", "180:1, 180:1", "s3 181:12, 181:12", "1,0"},
    // Placed by its own code: Pelun's cells, Kessa's cells, modes of pages 9-12.
    {"TalkPelunAfterC", "174:4, 174:4, 174:0, 174:0", "171:1, 171:1, 171:1, 171:0", "", "0,3,2,3"},
};

// name, page left (-1 load), slot (4 and up: the script's figures), cell, window mode (-1 unchanged). Where the
// press that leaves a page starts a motion, its row applies when the motion ends.
const std::vector<TalkPageChange> kChanges = {
    {"TalkKessaA", -1, 0, "169:4", -1},
    {"TalkKessaA", -1, 1, "174:0", -1},
    {"TalkKessaA", 0, -1, "", 1},  // after slot 1 has slid in
    {"TalkKessaA", 2, 0, "170:7", 0},

    {"TalkKessaAfterA", -1, 0, "168:4", -1},
    {"TalkKessaAfterA", -1, 1, "177:0", -1},
    {"TalkKessaAfterA", 5, 0, "168:0", 0},
    {"TalkKessaAfterA", 6, 0, "168:2", -1},
    {"TalkKessaAfterA", 7, 1, "177:1", 1},
    {"TalkKessaAfterA", 8, 0, "169:1", 0},

    {"TalkPelunA", -1, 0, "174:4", -1},
    {"TalkPelunA", -1, 1, "178:8", -1},
    {"TalkPelunA", 1, -1, "", 1},
    {"TalkPelunA", 2, 0, "175:1", 0},
    {"TalkPelunA", 3, 1, "178:11", 1},
    {"TalkPelunA", 4, 0, "175:2", 0},

    {"TalkPelunAfterA", -1, 0, "174:0", -1},
    {"TalkPelunAfterA", -1, 1, "180:0", -1},
    {"TalkPelunAfterA", 6, -1, "", 0},
    {"TalkPelunAfterA", 7, -1, "", 1},
    {"TalkPelunAfterA", 8, 0, "174:10", 0},
    {"TalkPelunAfterA", 9, 0, "174:0", -1},

    // Entrance (walking, standing) and visitor (standing, throwing) cells.
    {"TalkKessaP", -1, 4, "172:0", -1},
    {"TalkKessaP", -1, 5, "172:1", -1},
    {"TalkKessaP", 0, 6, "193:0", -1},
    {"TalkKessaP", 0, 7, "193:1", -1},

    // Slot 4 is the extra figure; page 4's row is what slot 1 shows once the figure has run off.
    {"TalkFioraA", -1, 0, "178:8", -1},
    {"TalkFioraA", -1, 1, "170:3", -1},
    {"TalkFioraA", -1, 4, "181:0", -1},
    {"TalkFioraA", 0, -1, "", 1},  // once slot 1 has slid in
    {"TalkFioraA", 1, 0, "178:0", 0},
    {"TalkFioraA", 2, 4, "181:3", 2},
    {"TalkFioraA", 3, 4, "181:0", -1},
    {"TalkFioraA", 4, 1, "170:7", 1},  // once the extra figure has run off

    {"TalkFioraAfterA", -1, 0, "178:3", -1},
    {"TalkFioraAfterA", -1, 1, "171:1", -1},
    {"TalkFioraAfterA", -1, 4, "181:1", -1},
    {"TalkFioraAfterA", 6, -1, "", 0},  // once slot 1 has walked out
    {"TalkFioraAfterA", 7, -1, "", 2},
    {"TalkFioraAfterA", 8, 0, "178:8", 0},
    {"TalkFioraAfterA", 9, 4, "181:0", 2},
};

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool ParseInt(const std::string& s, int* value) {
    if (s.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0' || v < 0 || v > 100000) return false;
    *value = static_cast<int>(v);
    return true;
}

}  // namespace

int TalkKindStage(TalkKind kind) {
    switch (kind) {
        case K::P: return 0;
        case K::A: case K::AfterA: return 1;
        case K::B: case K::AfterB: return 2;
        case K::C: case K::AfterC: return 3;
        case K::D: case K::AfterD: return 4;
    }
    return -1;
}

bool TalkKindAfterMatch(TalkKind kind) {
    return kind == K::AfterA || kind == K::AfterB || kind == K::AfterC || kind == K::AfterD;
}

const std::vector<TalkMotionRow>& MotionTable() { return kMotions; }

const TalkMotionRow& MotionRowOf(TalkMotion motion) {
    for (const TalkMotionRow& row : kMotions) {
        if (row.motion == motion) return row;
    }
    return kMotions.front();
}

const std::vector<TalkMember>& TalkMembers() { return kMembers; }

const TalkMember* FindTalkMember(const char* name) {
    for (const TalkMember& member : kMembers) {
        if (std::strcmp(member.name, name) == 0) return &member;
    }
    return nullptr;
}

const TalkMember* FindTalkMember(int character, int stage, bool afterMatch) {
    if (stage == 0) afterMatch = false;  // the prologue is the same either way
    for (const TalkMember& member : kMembers) {
        if (member.character == character && TalkKindStage(member.kind) == stage &&
            TalkKindAfterMatch(member.kind) == afterMatch) {
            return &member;
        }
    }
    return nullptr;
}

int TalkTextSheet(const TalkMember& member) {
    if (member.kind == K::AfterD) return -1;
    return 138 + 5 * member.character + TalkKindStage(member.kind);
}

const std::vector<TalkPageRows>& TalkPageTable() { return kPageRows; }

const std::vector<TalkPageChange>& TalkChangeTable() { return kChanges; }

TalkCell ParseTalkCell(const char* text) {
    std::vector<TalkCell> cells;
    std::string error;
    if (!ParseTalkCells(text, &cells, &error) || cells.size() != 1) return TalkCell{-1, 0};
    return cells.front();
}

TalkCell FindTalkChangeCell(const char* name, int leftPage, int slot) {
    for (const TalkPageChange& change : kChanges) {
        if (change.leftPage == leftPage && change.slot == slot && std::strcmp(change.name, name) == 0) {
            return ParseTalkCell(change.cell);
        }
    }
    return TalkCell{-1, 0};
}

const TalkPageRows* FindTalkPageRows(const char* name) {
    for (const TalkPageRows& rows : kPageRows) {
        if (std::strcmp(rows.name, name) == 0) return &rows;
    }
    return nullptr;
}

bool ParseTalkCells(const std::string& row, std::vector<TalkCell>* cells, std::string* error) {
    cells->clear();
    std::string text = Trim(row);
    if (text.empty()) return true;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        std::string token = Trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        int repeat = 1;
        size_t times = token.find(" x");
        if (times != std::string::npos) {
            if (!ParseInt(Trim(token.substr(times + 2)), &repeat) || repeat < 1) {
                *error = "bad repeat in \"" + token + "\"";
                return false;
            }
            token = Trim(token.substr(0, times));
        }
        TalkCell cell{-1, 0};
        if (token != "-") {
            size_t colon = token.find(':');
            if (colon == std::string::npos || !ParseInt(token.substr(0, colon), &cell.sheet) ||
                !ParseInt(token.substr(colon + 1), &cell.cell)) {
                *error = "bad cell \"" + token + "\"";
                return false;
            }
        }
        for (int i = 0; i < repeat; ++i) cells->push_back(cell);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

bool ParseTalkPages(const TalkPageRows& rows, TalkPages* pages, std::string* error) {
    *pages = TalkPages();
    if (!ParseTalkCells(rows.slot0, &pages->slot0, error)) return false;
    if (!ParseTalkCells(rows.slot1, &pages->slot1, error)) return false;
    std::string third = Trim(rows.third);
    if (!third.empty()) {
        if (third.size() < 3 || third[0] != 's' || (third[1] != '2' && third[1] != '3') || third[2] != ' ') {
            *error = "third row names no slot";
            return false;
        }
        pages->thirdSlot = third[1] - '0';
        if (!ParseTalkCells(third.substr(3), &pages->third, error)) return false;
    }
    std::string modes = rows.modes;
    size_t start = 0;
    for (;;) {
        size_t comma = modes.find(',', start);
        int mode = 0;
        std::string token = Trim(modes.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!ParseInt(token, &mode)) {
            *error = "bad window mode \"" + token + "\"";
            return false;
        }
        pages->modes.push_back(mode);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return true;
}

}  // namespace story
