// Wix's skills. SkillBaka and SkillDead run while both sides are held and end with state 8; SkillIce is a
// falling-run skill that keeps counting the caster's pieces while play goes on.
#include "game/skills/skills_wix.h"

#include <string.h>

#include <initializer_list>

#include "game/shell/loader.h"
#include "runtime/runtime.h"

namespace {

constexpr int kSoundWix = 45;
// The rival's "crisis" figure image; the ghost is cut from its first two frames.
constexpr int kImageCrisisFigure = 208;
constexpr int kFigureImagesPerCharacter = 12;
constexpr int kGhostWidth = 160;
constexpr int kGhostHeight = 256;

constexpr int kMarkFrames = 18;
constexpr int kPictureFrames = 60;
constexpr int kIcePieces = 5;  // the skill ends once the caster has taken more than this many pieces
constexpr int kGhostTop = -256;
constexpr int kGhostMaxAlpha = 150;

void playWix(const std::shared_ptr<Loader>& loader) { playSkillSound(loader, kSoundWix); }

}  // namespace

// ---- SkillBaka ----

const int SkillBaka::kPicture[kFieldRows][kFieldColumns] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 3, 0, 0, 3, 0, 3, 3}, {0, 0, 0, 3, 0, 0, 3, 0, 3, 3},
    {0, 0, 3, 0, 0, 0, 0, 3, 0, 0}, {0, 0, 3, 0, 0, 0, 0, 3, 0, 0}, {0, 3, 0, 0, 0, 0, 0, 0, 3, 0},
    {0, 3, 0, 0, 0, 0, 0, 0, 3, 0}, {3, 0, 0, 0, 0, 0, 0, 0, 0, 3}, {3, 0, 0, 0, 0, 0, 0, 0, 0, 3},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 3, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 3, 0, 0, 0, 0}, {0, 3, 3, 3, 3, 3, 3, 3, 3, 0}, {0, 0, 0, 0, 0, 3, 0, 0, 3, 0},
    {0, 0, 0, 0, 3, 0, 0, 0, 3, 0}, {0, 0, 0, 0, 3, 0, 0, 0, 3, 0}, {0, 0, 0, 3, 0, 0, 0, 0, 3, 0},
    {0, 0, 0, 3, 0, 0, 0, 0, 3, 0}, {0, 0, 3, 0, 0, 3, 0, 3, 0, 0}, {0, 0, 0, 0, 0, 0, 3, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

SkillBaka::SkillBaka(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader)
    : Skill(owner, std::move(loader)) {}

SkillBaka::~SkillBaka() = default;

void SkillBaka::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> r = o->getEnemy();
    if (!r) return;
    switch (state_) {
        case 0:
            memcpy(saved_, r->cells, sizeof(saved_));
            for (auto& row : r->cells)
                for (int& cell : row)
                    if (cell != kCellEmpty) cell = kCellMarked;
            r->clearFrames = 0;
            state_ = 1;
            break;
        case 1:
            if (r->clearFrames < kMarkFrames) ++r->clearFrames;
            if (r->clearFrames >= kMarkFrames) {
                memcpy(r->cells, kPicture, sizeof(kPicture));
                r->clearFrames = 0;
                state_ = 2;
            }
            break;
        case 2:
            if (counter_ < kPictureFrames) {
                ++counter_;
            } else {
                state_ = 3;
                // Everything comes back as it was, chips and marked cells too.
                memcpy(r->cells, saved_, sizeof(saved_));
                playWix(loader);
            }
            break;
        default:
            o->state = kStateSkillOverBoth;
            o->faceFrame = 0;
            break;
    }
}

// The effect is the rival's field itself, drawn with its marked cells by the match screen.
void SkillBaka::draw() {}

// ---- SkillIce ----

SkillIce::SkillIce(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader)
    : Skill(owner, std::move(loader)) {}

SkillIce::~SkillIce() = default;

void SkillIce::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> r = o->getEnemy();
    if (!r) return;
    o->faceFrame = 0;
    r->faceFrame = 0;
    switch (state_) {
        case 0:
            // A grave is already blocked for the round and keeps its figure.
            for (Player* p : {o, r.get()}) {
                if (p->face == kFaceGrave) continue;
                p->face = kFaceCold;
                p->skillBlocked = true;
            }
            o->skillRunsWhileFalling = true;
            o->state = kStateNextPiece;
            r->state = kStateNextPiece;
            piecesSeen_ = o->piecesTaken;
            state_ = 1;
            playWix(loader);
            break;
        case 1:
            if (o->piecesTaken - piecesSeen_ > kIcePieces) state_ = 2;
            break;
        default:
            for (Player* p : {o, r.get()}) {
                if (p->face == kFaceGrave) continue;
                p->skillBlocked = false;
                p->face = kFaceNormal;
            }
            o->skillRunsWhileFalling = false;
            endFallingRun(*o);
            break;
    }
}

void SkillIce::draw() {}

// ---- SkillDead ----

SkillDead::SkillDead(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader)
    : Skill(owner, std::move(loader)) {
    if (!owner) return;
    owner->faceFrame = 0;
    std::shared_ptr<Player> r = owner->getEnemy();
    if (!r) return;
    r->faceFrame = 0;
    // The ghost starts where the rival's figure stands.
    x_ = r->side * 520 - 20;
    if (this->loader) {
        int figure = this->loader->image(kImageCrisisFigure + kFigureImagesPerCharacter * r->character);
        if (figure != -1) {
            ghost_[0] = DeriveSubGraph(0, 0, kGhostWidth, kGhostHeight, figure);
            ghost_[1] = DeriveSubGraph(kGhostWidth, 0, kGhostWidth, kGhostHeight, figure);
        }
    }
}

SkillDead::~SkillDead() {
    for (int graph : ghost_)
        if (graph != -1) ReleaseGraph(graph, 0);
}

void SkillDead::update() {
    Player* o = owner();
    if (o == nullptr) return;
    std::shared_ptr<Player> r = o->getEnemy();
    if (!r) return;
    switch (state_) {
        case 0:
            if (r->face == kFaceGrave) {
                state_ = 2;
                break;
            }
            r->face = kFaceCold;
            // Never cleared: the grave casts nothing until the next round's sides are made.
            r->skillBlocked = true;
            playWix(loader);
            state_ = 1;
            break;
        case 1:
            frameCount_ = (frameCount_ + 1) % 10;
            y_ -= 3;
            if (alpha_ < kGhostMaxAlpha) alpha_ += 3;
            if (y_ <= kGhostTop) state_ = 2;
            break;
        default:
            r->face = kFaceGrave;
            o->state = kStateSkillOverBoth;
            break;
    }
}

void SkillDead::draw() {
    Player* o = owner();
    if (o == nullptr) return;
    SetBlendMode(1, alpha_);
    int ghost = ghost_[frameCount_ / 5];
    if (ghost != -1) {
        if (o->side == 0)
            DrawGraphAt(x_, y_, ghost, 1);
        else
            DrawGraphMirrored(x_, y_, ghost, 1);
    }
    SetBlendMode(0, 255);
}

std::shared_ptr<Skill> makeSkillBaka(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillBaka>(owner, loader);
}

std::shared_ptr<Skill> makeSkillIce(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillIce>(owner, loader);
}

std::shared_ptr<Skill> makeSkillDead(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    return std::make_shared<SkillDead>(owner, loader);
}
