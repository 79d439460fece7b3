// Pelun's skills: the star fall into the rival's field, the beam that fills the caster's bottom rows, and the
// light beams that blast three columns out of every rival row. Each is a small state machine stepped once a
// frame by the rules engine and drawn by the match scene.
#include "game/skills/skills_pelun.h"

#include <initializer_list>

#include "game/match/block.h"
#include "game/shell/game_clock.h"
#include "game/shell/loader.h"
#include "runtime/runtime.h"

namespace {

enum Image {
    kImageSky = 335,
    kImageStar = 336,  // five stars, 336-340
    kImageCorvaneFigure = 341,
    kImageCorvaneBall = 342,
    kImageCorvaneBeam = 343,
    kImageCorvaneBeamTurn = 344,
    kImageCorvaneRing = 345,
    kImageBroom = 346,
};

enum Sound {
    kSoundStarLands = 29,
    kSoundBeam = 30,
    kSoundFly = 31,
    kSoundBlast = 32,
};

constexpr int kCell = 18;
constexpr int kMarkFrames = 18;
constexpr int kFigureWidth = 160;
constexpr int kFigureHeight = 256;

void setColourScale(int value) { SetDrawColorScale(value, value, value); }

// The millisecond count goes negative after 24.8 days of uptime; a plain % would then give negative frames.
int clockPhase(int modulus) {
    int r = gameMillisecondCount() % modulus;
    return r < 0 ? r + modulus : r;
}

}  // namespace

// SkillVintrel

SkillVintrel::SkillVintrel(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader), rival_(owner ? owner->getEnemy() : nullptr) {
    for (Star& star : stars) {
        star.cell.x = RandomInt(kFieldColumns - 1);
        star.cell.y = -5;
    }
}

void SkillVintrel::update() {
    Player* o = owner();
    std::shared_ptr<Player> r = rival_.lock();
    if (o == nullptr || !r) return;
    switch (state) {
        case 0:
            if (brightness_ <= 100) {
                state = 1;
            } else {
                brightness_ -= 3;
                skyAlpha += 3;
            }
            break;
        case 1: {
            // Every star, not only the last one started: a later star can land and fade while an earlier one
            // still falls towards a lower floor, and that one must not vanish without its block.
            bool allFaded = true;
            for (const Star& star : stars)
                if (star.alpha >= 1) allFaded = false;
            if (allFaded) {
                state = 2;
                break;
            }
            int m = count / 20;
            if (m < kStars) stars[m].falling = true;
            for (Star& star : stars) {
                star.angle += 5;
                if (star.landed) {
                    star.alpha -= 17;
                } else if (star.falling) {
                    star.subStep = (star.subStep + 6) % kCell;
                    if (star.subStep == 0) {
                        int column = star.cell.x;
                        int row = star.cell.y;
                        if (r->occupied(row + 1, column)) {
                            if (row >= 0 && row < kFieldRows) r->cells[row][column] = kCellBlock;
                            star.landed = true;
                            playSkillSound(loader, kSoundStarLands);
                        }
                        star.cell.y = row + 1;
                    }
                }
            }
            ++count;
            break;
        }
        case 2:
            if (brightness_ < 255) {
                brightness_ += 3;
                skyAlpha -= 3;
            } else {
                state = 3;
            }
            break;
        default:
            setColourScale(255);
            o->state = kStateSkillOverBoth;
            break;
    }
}

void SkillVintrel::draw() {
    std::shared_ptr<Player> r = rival_.lock();
    if (owner() == nullptr || !r) return;
    setColourScale(255);
    if (state == 1) {
        for (int k = 0; k < kStars; ++k) {
            const Star& star = stars[k];
            SetBlendMode(1, star.alpha);
            DrawGraphRotated(r->side * 240 + star.cell.x * kCell + 119, star.subStep + star.cell.y * kCell + 45, 1.0,
                             (star.angle % 360) * 0.017453277777777776, skillImage(loader, kImageStar + k % 5), 1, 0);
            SetBlendMode(0, 255);
        }
    }
    if (state <= 2) {
        SetBlendMode(1, skyAlpha);
        DrawGraphAt(0, 0, skillImage(loader, kImageSky), 1);
        SetBlendMode(0, 255);
    }
    setColourScale(brightness_);
}

// SkillCorvane

SkillCorvane::SkillCorvane(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader) {
    int sheet = skillImage(loader, kImageCorvaneFigure);
    for (int k = 0; k < kFigureFrames; ++k)
        figureFrames_[k] = sheet == -1 ? -1 : DeriveSubGraph(kFigureWidth * k, 0, kFigureWidth, kFigureHeight, sheet);
    if (!owner) return;
    setSkillFace(*owner, kFaceHidden);
    if (std::shared_ptr<Player> r = owner->getEnemy()) r->faceFrame = 0;
}

SkillCorvane::~SkillCorvane() {
    for (int frame : figureFrames_)
        if (frame != -1) ReleaseGraph(frame, 0);
}

void SkillCorvane::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> r = o->getEnemy();
    if (!r) return;
    switch (state) {
        case 0:
            if (count < 30) {
                ++count;
            } else {
                ++figureFrame;
                count = 0;
                state = 1;
            }
            break;
        case 1:
            if (count >= 80) {
                ++figureFrame;
                count = 0;
                state = 2;
                playSkillSound(loader, kSoundBeam);
            } else {
                ++count;
                if (brightness_ > 100) brightness_ -= 2;
            }
            break;
        case 2:
            ringFrame = clockPhase(300) / 100;
            if (count >= 100) {
                state = 3;
            } else {
                ++count;
                if (beamHeight < 288) beamHeight += 6;
            }
            break;
        case 3:
            setSkillFace(*r, kFaceLose);
            ringFrame = clockPhase(300) / 100;
            if (clockPhase(200) / 100 == 1 && (figureFrame == 2 || figureFrame == 3)) figureFrame ^= 1;
            if (count >= 300)
                state = 4;
            else
                count += 2;
            break;
        case 4:
            setSkillFace(*r, kFaceLose);
            // Whatever was there goes, skill chips included: three full rows for the caster's next lock.
            for (int row = kFieldRows - 3; row < kFieldRows; ++row)
                for (int column = 0; column < kFieldColumns; ++column) o->cells[row][column] = kCellBlock;
            figureFrame = 1;
            state = 5;
            break;
        case 5:
            setSkillFace(*r, kFaceLose);
            if (count <= 150) {
                state = 6;
            } else {
                // The fade runs 150 frames but full brightness comes after 52: hold it there.
                brightness_ += 3;
                if (brightness_ > 255) brightness_ = 255;
                alpha -= 2;
                --count;
                if (beamHeight > 0) beamHeight -= 3;
            }
            break;
        default:
            setColourScale(255);
            o->faceFrame = 0;
            o->state = kStateSkillOverBoth;
            setSkillFace(*o, kFaceNormal);
            setSkillFace(*r, kFaceNormal);
            break;
    }
}

void SkillCorvane::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    int frame = figureFrames_[figureFrame];
    if (o->side == 1)
        DrawGraphAt(500, 220, frame, 1);
    else
        DrawGraphMirrored(-20, 220, frame, 1);
    // The first wait and the end show the figure alone and leave the colour scale as they find it.
    if (state < 1 || state > 5) return;
    if (state >= 2) {
        setColourScale(255);
        int y1 = (288 - beamHeight) / 2 + 278;
        if (o->side == 0)
            DrawGraphStretched(40, y1, 680, y1 + beamHeight, skillImage(loader, kImageCorvaneBeam), 1);
        else
            DrawGraphStretched(-40, y1, 600, y1 + beamHeight, skillImage(loader, kImageCorvaneBeamTurn), 1);
        SetBlendMode(1, alpha);
        DrawGraphPart(o->side == 0 ? 80 : 180, 280, 0, ringFrame * 288, 380, 288, skillImage(loader, kImageCorvaneRing),
                      1, o->side == 1);
        DrawGraphAt(o->side == 0 ? 80 : 502, 395, skillImage(loader, kImageCorvaneBall), 1);
        SetBlendMode(0, 255);
    }
    setColourScale(brightness_);
}

// SkillGrakel

SkillGrakel::SkillGrakel(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader)
    : Skill(owner, loader) {
    if (!owner) return;
    figure = Point(owner->side * 520 - 20, 220);
    std::shared_ptr<Player> r = owner->getEnemy();
    if (!r) return;
    setSkillFace(*owner, kFaceHidden);
    static const int kColours[kBeams][3] = {
        {200, 50, 50}, {50, 200, 50}, {50, 50, 200}, {50, 125, 125}, {125, 50, 125},
    };
    for (int i = 0; i < kBeams; ++i) {
        beams[i].x = 198 + 2 * i + 240 * r->side;
        beams[i].colour = RgbToScreenPixel(kColours[i][0], kColours[i][1], kColours[i][2]);
    }
    for (Point& star : starPositions) {
        star.y = (RandomInt(5) + 10) * 50;
        star.x = r->side * 240 + RandomInt(9) * kCell + 119;
    }
    playSkillSound(loader, kSoundFly);
    r->faceFrame = 0;
}

void SkillGrakel::jitterBeams(int rivalSide) {
    int left = rivalSide * 240 + 110;
    int right = rivalSide * 240 + 254;
    for (Beam& beam : beams) {
        int direction = RandomInt(1) == 1 ? 1 : -1;
        beam.x += direction * (RandomInt(3) + 3);
        if (beam.x < left) beam.x = left;
        if (beam.x > right) beam.x = right;
    }
}

void SkillGrakel::moveStars(int rivalSide) {
    for (Point& star : starPositions) {
        star.y -= 10;
        if (star.y < -40) {
            star.y = RandomInt(5) * 50 + 500;
            star.x = rivalSide * 240 + RandomInt(9) * kCell + 119;
        }
    }
    for (int& angle : starAngles) angle = (angle + 10) % 360;
}

void SkillGrakel::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> r = o->getEnemy();
    if (!r) return;
    switch (state) {
        case 0:
            if (brightness_ <= 100) {
                state = 1;
            } else {
                brightness_ -= 2;
                figure.y -= 10;
            }
            break;
        case 1:
            if (beams[0].height > 451) {
                state = 2;
                playSkillSound(loader, kSoundBeam);
            } else {
                for (Beam& beam : beams) beam.height += 5;
            }
            break;
        case 2:
            if (count >= 200) {
                state = 3;
                playSkillSound(loader, kSoundBlast);
            } else {
                if (beams[0].width < 36)
                    for (Beam& beam : beams) ++beam.width;
                ++count;
            }
            jitterBeams(r->side);
            moveStars(r->side);
            break;
        case 3:
            setSkillFace(*r, kFaceLose);
            for (int row = 0; row < kFieldRows; ++row) {
                int j = RandomInt(3);
                for (int column : {j, j + 3, j + 6})
                    if (r->cells[row][column] != kCellEmpty) r->cells[row][column] = kCellMarked;
            }
            state = 4;
            moveStars(r->side);
            break;
        case 4:
            setSkillFace(*r, kFaceLose);
            if (r->clearFrames < kMarkFrames) ++r->clearFrames;
            if (r->clearFrames >= kMarkFrames) {
                r->clearFrames = 0;
                // Holes stay holes: nothing above a blasted cell falls.
                for (auto& row : r->cells)
                    for (int& cell : row)
                        if (cell == kCellMarked) cell = kCellEmpty;
                state = 5;
            }
            jitterBeams(r->side);
            moveStars(r->side);
            break;
        case 5:
            setSkillFace(*r, kFaceLose);
            if (beams[0].width <= 0) {
                state = 6;
            } else {
                for (Beam& beam : beams) {
                    --beam.width;
                    beam.a -= 2;
                }
            }
            moveStars(r->side);
            break;
        case 6:
            setSkillFace(*r, kFaceLose);
            if (brightness_ > 254) {
                state = 7;
            } else {
                ++brightness_;
                figure.y += 5;
            }
            break;
        default:
            setColourScale(255);
            o->state = kStateSkillOverBoth;
            setSkillFace(*o, kFaceNormal);
            setSkillFace(*r, kFaceNormal);
            break;
    }
}

void SkillGrakel::drawBeams() {
    setColourScale(255);
    SetBlendMode(2, beams[0].a);
    for (const Beam& beam : beams) {
        int w = beam.width;
        for (int n = 2; n >= 0; --n)
            DrawRectangle(beam.x - n * (w / 5), beam.y, beam.x + (n + 1) * w - n * n * (w / 5), beam.y + beam.height,
                          beam.colour, 1);
    }
    SetBlendMode(0, 255);
    setColourScale(brightness_);
}

void SkillGrakel::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    if (state == 0 || state >= 6) {
        setColourScale(255);
        if (o->side == 1)
            DrawGraphAt(figure.x, figure.y, skillImage(loader, kImageBroom), 1);
        else
            DrawGraphMirrored(figure.x, figure.y, skillImage(loader, kImageBroom), 1);
    } else {
        drawBeams();
        if (state >= 2) {
            setColourScale(255);
            SetBlendMode(1, beams[0].a * 3);
            for (int i = 0; i < kStars; ++i)
                DrawGraphRotated(starPositions[i].x, starPositions[i].y, 2.0, starAngles[i] * 0.0174532925,
                                 skillImage(loader, kImageStar + i), 1, 0);
            SetBlendMode(0, 255);
        }
    }
    setColourScale(brightness_);
}

std::shared_ptr<Skill> makeSkillVintrel(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillVintrel>(owner, loader);
}

std::shared_ptr<Skill> makeSkillCorvane(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillCorvane>(owner, loader);
}

std::shared_ptr<Skill> makeSkillGrakel(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillGrakel>(owner, loader);
}
