// Quen's skills played in the real match scene: the wind packs the caster's rows at its 21st frame, the photo is
// taken from the picture shown and the caster's field becomes the rival's when it lands, and the gale's gusts
// only ever shift whole rival columns by one row.
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>

#include "game/match/player.h"
#include "game/skills/skills_quen.h"
#include "runtime/runtime.h"
#include "tests/game/skills/skill_case.h"

namespace {

constexpr int kQuen = 5;

// Update counts of each skill, from its first update to the one that ends it.
constexpr int kWindGustUpdate = 53;  // 32 darkening frames, then the wind's 21st
constexpr int kWindFrames = 166;     // 32 + 101 + 32 + the end
constexpr int kCopyFlashFrames = 6;  // the white flash, from the shot on
int copyLandingUpdate(int side) { return side == 0 ? 115 : 107; }  // shot 1, flash 11, flight 103 or 95
constexpr int kManboFirstGust = 71;  // 70 frames of the caster crossing
constexpr int kManboFrames = 232;    // 70 + 161 + the end

Rows fullField(const Rows& bottomRows) {
    Rows rows(kFieldRows - bottomRows.size(), "..........");
    rows.insert(rows.end(), bottomRows.begin(), bottomRows.end());
    return rows;
}

// The caster's field for the wind: gaps closed, order kept, chips moved like blocks, a row with cells only at the
// two walls, a full-but-one row, empty rows left alone, and a cell in the top row.
Rows tallField(const std::string& top, const Rows& bottomRows) {
    Rows rows = fullField(bottomRows);
    rows[0] = top;
    return rows;
}
const Rows kUnpacked = tallField("..#.......", {"#...*....#", "..........", ".#.*.#.##.", "#########.", "#........#"});
const Rows kPackedRight = tallField(".........#", {".......#*#", "..........", ".....#*###", ".#########", "........##"});
const Rows kPackedLeft = tallField("#.........", {"#*#.......", "..........", "#*###.....", "#########.", "##........"});

const Rows kCopyCasterRows = {"....#.....", "#..##...##", "###.######"};
const Rows kCopyRivalRows = {"x.........", "*#..#x..#.", "##*##.####", "#.########"};

// Bottom rows of a field, as the runner writes them.
Rows bottom(const Player& p, int count) { return fieldRows(p, kFieldRows - count); }

struct Snapshot {
    int cells[kFieldRows][kFieldColumns];
};
Snapshot snapshot(const Player& p) {
    Snapshot s;
    memcpy(s.cells, p.cells, sizeof(s.cells));
    return s;
}
bool sameField(const Player& p, const Snapshot& s) { return memcmp(p.cells, s.cells, sizeof(s.cells)) == 0; }

const Rows kRivalRows = {"..#.......", ".##..#....", "###.*#.#.#", "#.######.#"};

// Screen colours the flash and photo checks look for.
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kMagenta = 0xFF00FF;
constexpr uint32_t kCyan = 0x00FFFF;

}  // namespace

namespace {

SkillCase quenCase(const std::string& name, int level, int side) {
    SkillCase c;
    c.name = name;
    c.character = kQuen;
    c.level = level;
    c.side = side;
    return c;
}

// SkillWind: the caster's field is untouched until the gust, packed against the far wall from then on; the
// rival's field never changes; the rival shows the wind-hit face from the darkening's end to the brightening's
// end (a grave stays a grave); the draw leaves the scale at the skill's brightness.
SkillCase windCase(const std::string& name, int side, int rivalFace) {
    SkillCase c = quenCase(name, 1, side);
    c.casterField = kUnpacked;
    c.rivalField = kRivalRows;
    c.rivalFace = rivalFace;
    c.frames = kWindFrames;
    const Rows packed = side == 0 ? kPackedRight : kPackedLeft;
    c.eachFrame = [packed, rivalFace](SkillRun& run) {
        const int n = run.frame;
        EXPECT_EQ(n < kWindGustUpdate ? kUnpacked : packed, fieldRows(run.caster(), 0)) << "update " << n;
        EXPECT_EQ(kRivalRows, bottom(run.rival(), 4)) << "update " << n;
        EXPECT_EQ(kFaceHidden, run.caster().face) << "update " << n;
        const int wantFace = rivalFace == kFaceGrave ? kFaceGrave : (n >= 32 && n <= 164) ? kFaceWindHit : rivalFace;
        EXPECT_EQ(wantFace, run.rival().face) << "update " << n;
        EXPECT_EQ(0, run.rival().faceFrame) << "update " << n;
        const int brightness = run.skillAs<SkillWind>()->brightness();
        if (n == 1) {
            EXPECT_EQ(250, brightness);
        } else if (n == kWindGustUpdate) {
            EXPECT_EQ(100, brightness);  // darkest while the wind blows
        } else if (n == 165) {
            EXPECT_EQ(255, brightness);
        }
    };
    c.atEnd = [packed](SkillRun& run) { EXPECT_EQ(packed, fieldRows(run.caster(), 0)); };
    c.drawScale = [](SkillRun& run) { return run.skillAs<SkillWind>()->brightness(); };
    return c;
}

// SkillCopy: the caster's field stays its own until the photo lands and is then the rival's, as the rival's is at
// that moment (a cell put there mid-flight is copied; marked cells and chips too). The screen flashes white for
// six frames from the shot.
SkillCase copyCase(const std::string& name, int side, bool cutIn) {
    SkillCase c = quenCase(name, 2, side);
    c.cutIn = cutIn;
    c.casterField = kCopyCasterRows;
    c.rivalField = kCopyRivalRows;
    c.frames = copyLandingUpdate(side) + 1;
    const int landing = copyLandingUpdate(side);
    // A pixel no skill picture, banner or field covers on this caster's side.
    const int flashX = side == 0 ? 630 : 10, flashY = 470;
    // Where the photo is taken: above the rival's field.
    const int shotX = side == 0 ? 480 : 190;
    c.eachFrame = [landing, side, flashX, flashY, shotX](SkillRun& run) {
        const int n = run.frame;
        if (n == 50) run.rival().cells[10][4] = kCellChip;  // mid-flight
        if (n < landing) {
            EXPECT_EQ(fullField(kCopyCasterRows), fieldRows(run.caster(), 0)) << "update " << n;
        } else {
            EXPECT_EQ(fieldRows(run.rival(), 0), fieldRows(run.caster(), 0)) << "update " << n;
        }
        EXPECT_EQ(kFaceHidden, run.caster().face) << "update " << n;
        auto* copy = run.skillAs<SkillCopy>();
        ASSERT_NE(nullptr, copy);
        if (n >= 12) {
            // The flight: 4 pixels a frame towards the caster's side.
            EXPECT_EQ(shotX + (side == 0 ? -4 : 4) * (n - 12), copy->photoX()) << "update " << n;
        }
        if (n <= kCopyFlashFrames + 1) {  // reading the screen is slow: only around the flash
            const bool white = run.game->pixel(flashX, flashY) == kWhite;
            EXPECT_EQ(n <= kCopyFlashFrames, white) << "update " << n;
        }
        // After the flash and before the flight the photo lies unturned where it was taken; the photo frame
        // covers only its middle.
        if (n == kCopyFlashFrames + 2) {
            EXPECT_EQ(kMagenta, run.game->pixel(shotX - 150, 215));
            EXPECT_EQ(kCyan, run.game->pixel(shotX + 150, 445));
        }
    };
    // The picture shown when the photo is taken: two colours over the rival's part of the screen, presented just
    // before the shot. The frame being drawn then is still blank, so only a photo of the front screen has them.
    c.input = [shotX](SkillRun& run) {
        if (run.frame == 1) {
            DrawRectangle(shotX - 160, 210, shotX, 450, RgbToScreenPixel(255, 0, 255), 1);
            DrawRectangle(shotX, 210, shotX + 160, 450, RgbToScreenPixel(0, 255, 255), 1);
            PresentBackScreen2D();
        }
        return StepInput();
    };
    c.atEnd = [](SkillRun& run) {
        EXPECT_EQ(kCellChip, run.caster().cells[10][4]);
        EXPECT_EQ(kCopyRivalRows, bottom(run.caster(), 4));
    };
    return c;
}

// One column of a field, top to bottom.
std::string column(const int (&cells)[kFieldRows][kFieldColumns], int c) {
    std::string s;
    for (int r = 0; r < kFieldRows; ++r) s += static_cast<char>('0' + cells[r][c]);
    return s;
}

// What the gale may do to a column in one gust: nothing, up one row with a block or nothing coming in at the
// bottom (the top cell lost), or down one row with nothing coming in at the top (the bottom cell lost).
enum Move { kStays, kUp, kDown, kOther };
Move moveOf(const std::string& before, const std::string& after) {
    if (after == before) return kStays;
    const std::string up = before.substr(1);
    if (after == up + "1" || after == up + "0") return kUp;
    if (after == "0" + before.substr(0, kFieldRows - 1)) return kDown;
    return kOther;
}

struct GaleWatch {
    Snapshot last;
    Snapshot casterStart;
    int ups = 0, downs = 0;
    int rivalFace = -1;  // as the gale finds it
};

// SkillManbo: between gusts nothing changes; at each of the 21 gusts (every 8th frame of the gale) every rival
// column stays or shifts by one row as a whole; the caster's field never changes. Over 210 column draws the
// gale both lifts and drops columns. The rival shows the wind-hit face through the gale.
SkillCase manboCase(const std::string& name, int side, const Rows& rivalField) {
    SkillCase c = quenCase(name, 3, side);
    c.casterField = {"#.##.*...#", "##.######."};
    c.rivalField = rivalField;
    c.frames = kManboFrames;
    auto watch = std::make_shared<GaleWatch>();
    c.prepare = [watch](SkillRun& run) {
        *watch = GaleWatch();
        watch->last = snapshot(run.rival());
        watch->casterStart = snapshot(run.caster());
    };
    c.eachFrame = [watch](SkillRun& run) {
        const int n = run.frame;
        const bool gust = n >= kManboFirstGust && (n - kManboFirstGust) % 8 == 0;
        Snapshot now = snapshot(run.rival());
        for (int col = 0; col < kFieldColumns; ++col) {
            const Move m = moveOf(column(watch->last.cells, col), column(now.cells, col));
            if (!gust) {
                EXPECT_EQ(kStays, m) << "update " << n << ", column " << col << " changed between gusts";
                continue;
            }
            EXPECT_NE(kOther, m) << "update " << n << ", column " << col << ": " << column(watch->last.cells, col)
                                 << " became " << column(now.cells, col);
            watch->ups += m == kUp;
            watch->downs += m == kDown;
        }
        watch->last = now;
        EXPECT_TRUE(sameField(run.caster(), watch->casterStart)) << "update " << n;
        EXPECT_EQ(kFaceHidden, run.caster().face) << "update " << n;
        if (n == 1) watch->rivalFace = run.rival().face;
        EXPECT_EQ(n >= kManboFirstGust ? kFaceWindHit : watch->rivalFace, run.rival().face) << "update " << n;
        EXPECT_EQ(0, run.rival().faceFrame) << "update " << n;
    };
    c.atEnd = [watch](SkillRun& run) {
        EXPECT_TRUE(sameField(run.rival(), watch->last)) << "the end frame is no gust";
        EXPECT_TRUE(sameField(run.caster(), watch->casterStart));
        EXPECT_GT(watch->ups, 0);
        EXPECT_GT(watch->downs, 0);
        EXPECT_EQ(kFaceNormal, run.rival().face);
    };
    return c;
}

// Columns that reach the top and the floor: a lift loses the top cell, a drop the bottom one.
Rows wallToWall() {
    Rows rows;
    for (int r = 0; r < kFieldRows; ++r) rows.push_back(r % 2 ? "#*......##" : "##......#.");
    rows.back() = "##.####.##";
    return rows;
}

// Rows of one caster side follow each other, so the match's resources load once a side. Side 1's rows add the
// edge cases: a grave rival face, the wait without the cut-in, and columns that reach the top and the floor.
const SkillCase kQuenCases[] = {
    windCase("wind side 0", 0, kFaceNormal),
    copyCase("copy side 0", 0, true),
    manboCase("manbo side 0", 0, {"#.#*..#.##", ".##.#.#..#", "#..##.*.#.", "##.#.##.#.", ".#####..##", "#.#.#.#.#."}),
    windCase("wind side 1 leaves a grave rival", 1, kFaceGrave),
    copyCase("copy side 1 without cut in", 1, false),
    manboCase("manbo side 1 on columns from top to floor", 1, wallToWall()),
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Quen, SkillCaseTest, ::testing::ValuesIn(kQuenCases), SkillCaseName);
