// The match scene: the per-frame steps of a round and its drawing, the music title, and the story's table of
// opponents. Rules run in update; draw only reads, so a match plays the same with drawing switched off.
#include "game/match/scene_game_main.h"

#include "game/match/block.h"
#include "game/match/cpu.h"
#include "game/match/next_piece_queue.h"
#include "game/match/player.h"
#include "game/match/player_processer.h"
#include "game/match/scene_after_match.h"
#include "game/shell/input_poll.h"
#include "game/shell/loader.h"
#include "game/shell/options.h"
#include "game/skills/skill.h"
#include "game/skills/skill_back.h"
#include "game/skills/skill_name.h"
#include "runtime/runtime.h"

int musicLevel = 40;

namespace {

// The skill chips' glow moves by this step and turns at the ends of 10-255; it carries over between scenes.
int pulseStep = 4;

constexpr int kFieldX[2] = {110, 350};
constexpr int kFieldTop = 56;
constexpr int kCell = 18;

constexpr int kIntroFrames = 200;
constexpr int kReadyEnd = 172;
constexpr int kResultFrames = 500;

enum Image {
    kImagePause = 37,
    kImageFieldFrame = 38,
    kImageNextFrame = 39,
    kImageGetFrame = 40,
    kImageSkillBall = 41,
    kImageLamp = 42,
    kImageReady = 43,
    kImageStart = 44,
    kImageWinner = 45,
    kImageLoser = 46,
    kImageWinMark = 47,
    kImageBackTitle = 49,
    kImageBackGame = 50,
    kImageLevelPlate = 51,
    kImagePreview = 110,
    kImageCellChip = 124,
    kImageStopTimeChip = 131,
    kImageSideChip = 132,
    kImageSendChip = 134,
    kImageBalloon = 137,
    kImageResult = 198,
    kImageFigure = 205,
    kImageGrave = 289,
    kImageSpirit = 290,
    kImagePosePortrait = 291,
    kImageDeadPortrait = 319,
    kImageBgmName = 320,
};

enum Sound {
    kSoundBattleMusic = 1,
    kSoundCursor = 12,
    kSoundDecide = 13,
    kSoundStart = 18,
    kSoundWinMark = 20,
};

constexpr int kFigureWidth = 160;
constexpr int kFigureHeight = 256;
constexpr int kObren = 4;

void resetQueueOnLeaving() {
    resetNextQueue();
    resetNextQueue();
    forcedPieceCount = 0;
    forcedNextKind = kNoPieceKind;
}

}  // namespace

int storyOpponent(int stage, int character) {
    static const int kOpponents[6][4] = {
        {1, 4, 3, 5}, {2, 5, 0, 3}, {0, 1, 5, 4}, {5, 2, 4, 0}, {3, 0, 1, 2}, {4, 3, 2, 1},
    };
    if (stage < 1 || stage > 4 || character < 0 || character > 5) return character;
    return kOpponents[character][stage - 1];
}

void BgmName::update() {
    switch (phase) {
        case 0:
            if (alpha < 200) {
                y -= 2;
                alpha += 5;
            } else {
                phase = 1;
            }
            break;
        case 1:
            if (counter < 60) {
                alpha += 5;
                y -= 1;
                ++counter;
            } else {
                phase = 2;
                alpha = 255;
            }
            break;
        default:
            alpha -= 5;
            y -= 2;
            break;
    }
}

void BgmName::draw() {
    SetBlendMode(1, alpha);
    DrawGraphRotated(320, y, 1.0, 0.0, loader->image(kImageBgmName + track), 1, 0);
    SetBlendMode(0, 255);
}

SceneGameMain::SceneGameMain(int character0, int character1, int roundWins0, int roundWins1, bool versus, bool cpu,
                             int stage, std::shared_ptr<Loader> loader)
    : SceneGameMain(character0, character1, roundWins0, roundWins1, versus, cpu, stage, std::move(loader), false) {}

SceneGameMain::SceneGameMain(int character0, int character1, int roundWins0, int roundWins1, bool versus, bool cpu,
                             int stage, std::shared_ptr<Loader> loader, bool cpuOnSide0)
    : Scene(loader),
      rules_(std::make_shared<PlayerProcesser>(loader)),
      bgmName_(std::make_shared<BgmName>(loader, character1)),
      stage_(stage),
      versus_(versus),
      cpu_(cpu),
      cpuOnSide0_(cpuOnSide0) {
    SkillName::setLoader(loader);
    if (cpuOnSide0_)
        players_[0] = Cpu::makeOnSideForTesting(character0, roundWins0, 0);
    else
        players_[0] = std::make_shared<Player>(character0, 0, roundWins0);
    if (versus && !cpu) {
        players_[1] = std::make_shared<Player>(character1, 1, roundWins1);
    } else {
        players_[1] = std::make_shared<Cpu>(character1, roundWins1);
        cpuInputIgnored = true;
    }
    players_[0]->setEnemy(players_[1]);
    players_[1]->setEnemy(players_[0]);
    forcedNextKind = kNoPieceKind;
    for (NextPieceEntry& e : nextPieceQueue.entry) e.kind = kNoPieceKind;
    resetNextQueue();
    musicLevel = 40;
}

std::shared_ptr<SceneGameMain> SceneGameMain::makeComputerOnBothSidesForTesting(int character0, int character1,
                                                                              int roundWins0, int roundWins1,
                                                                              int stage,
                                                                              std::shared_ptr<Loader> loader) {
    return std::shared_ptr<SceneGameMain>(new SceneGameMain(character0, character1, roundWins0, roundWins1, false,
                                                            true, stage, std::move(loader), true));
}

SceneGameMain::~SceneGameMain() {
    for (int& strip : readyStrips_)
        if (strip != -1) ReleaseGraph(strip, 0);
    if (resultImage_ > 0) ReleaseGraph(resultImage_, 0);
    players_[0].reset();
    players_[1].reset();
    bgmName_.reset();
    rules_.reset();
}

void SceneGameMain::loadResources(bool release) {
    loader_->loadBattle(release, *players_[0], *players_[1]);
}

void SceneGameMain::update() {
    if (cpuOnSide0_) inputCurrent[0] = inputPrevious[0] = 0;
    int music = loader_->sound(kSoundBattleMusic + players_[1]->character);
    SetSoundHandleVolume(static_cast<int>(musicLevel * masterVolume), music);
    if (IsSoundHandlePlaying(music) != 1) PlaySoundHandle(music, kSoundPlayLoop, 1);

    switch (state_) {
        case kIntro:
            ++musicLevel;
            if (++count_ == kIntroFrames) {
                count_ = 0;
                musicLevel = 255;
                state_ = kReady;
            }
            break;
        case kReady:
            bgmName_->update();
            ++count_;
            if (count_ == 123) PlaySoundHandle(loader_->sound(kSoundStart), kSoundPlayBack, 1);
            if (drawing_) draw();
            if (count_ >= kReadyEnd) state_ = kPlay;
            return;
        case kPlay: stepPlay(); break;
        case kPause: stepPause(); break;
        case kRoundEnd: stepRoundEnd(); break;
        case kResult: stepResult(); break;
        case kLeave: stepLeave(); break;
        default: break;
    }
    if (drawing_) draw();
}

void SceneGameMain::stepPlay() {
    for (int side = 0; side < 2; ++side) {
        Player& p = *players_[side];
        if (inputPressed(side, kButtonThird)) state_ = kPause;  // the frame still runs to its end
        if (garbageFor_[side] > 0) {
            p.pendingGarbage += garbageFor_[side];
            garbageFor_[side] = 0;
        }
        p.checkDanger();
    }
    for (int side = 0; side < 2; ++side) {
        garbageFor_[1 - side] = rules_->process(*players_[side]);
        if (players_[side]->update()) state_ = kRoundEnd;
    }
    if (SkillName::current()) SkillName::step();
    pulse_ += pulseStep;
    if (pulse_ < 10 || pulse_ > 255) pulseStep = -pulseStep;
}

void SceneGameMain::stepPause() {
    musicLevel = 20;
    for (int side = 0; side < 2; ++side) {
        if (inputPressed(side, kButtonLeft | kButtonRight)) {
            pauseChoice_ ^= 1;
            PlaySoundHandle(loader_->sound(kSoundCursor), kSoundPlayBack, 1);
        }
        if (!inputPressed(side, kButtonFirst)) continue;
        PlaySoundHandle(loader_->sound(kSoundDecide), kSoundPlayBack, 1);
        musicLevel = 255;
        if (pauseChoice_ == 0) {
            state_ = kPlay;
        } else {
            StopSoundHandle(loader_->sound(kSoundBattleMusic + players_[1]->character));
            setNextScene(makeSceneAfterMatch(loader_, false, players_[0]->character, players_[1]->character, stage_));
            leaveMatch();
        }
    }
}

void SceneGameMain::leaveMatch() {
    if (resultImage_ > 0) ReleaseGraph(resultImage_, 0);
    resultImage_ = 0;
    SkillName::setCurrent(nullptr);
    cpuInputIgnored = false;
    resetQueueOnLeaving();
    SetDrawColorScale(255, 255, 255);
}

void SceneGameMain::stepRoundEnd() {
    if (fade_ <= 254) {
        musicLevel = 293 - fade_;
        fade_ += 2;
        return;
    }
    for (const std::shared_ptr<Player>& p : players_)
        if (p->state == kStateWinner) ++p->roundsWon;
    int winner = players_[1]->roundsWon >= 2 ? 1 : players_[0]->roundsWon >= 2 ? 0 : -1;
    if (winner >= 0) {
        state_ = kResult;
        int loser = 1 - winner;
        int y = 0;
        if (RandomInt(1) == 1) y = 140 * (players_[loser]->character + 1);
        resultImage_ = DeriveSubGraph(0, y, 360, 140, loader_->image(kImageResult + players_[winner]->character));
    } else {
        std::shared_ptr<SceneGameMain> next(new SceneGameMain(players_[0]->character, players_[1]->character,
                                                              players_[0]->roundsWon, players_[1]->roundsWon,
                                                              versus_, cpu_, stage_, loader_, cpuOnSide0_));
        next->drawing_ = drawing_;
        setNextScene(next);
        loader_->setKeepFlag(true);
        musicLevel = 40;
        SkillName::clearCurrent();
        // cpuInputIgnored stays set: the next round's computer must not be steered by side 1's source.
        resetQueueOnLeaving();
    }
    for (int side = 0; side < 2; ++side) PlaySoundHandle(loader_->sound(kSoundWinMark), kSoundPlayBack, 1);
}

void SceneGameMain::stepResult() {
    if (resultCount_ < kResultFrames) {
        ++resultCount_;
        musicLevel = 40 - resultCount_ / 8;
    }
    if (resultCount_ >= kResultFrames) {
        state_ = kLeave;
        musicLevel = 40;
    }
}

void SceneGameMain::stepLeave() {
    if (getNextScene()) return;
    StopSoundHandle(loader_->sound(kSoundBattleMusic + players_[1]->character));
    bool storyWin = !versus_ && players_[0]->roundsWon >= 2;
    setNextScene(makeSceneAfterMatch(loader_, storyWin, players_[0]->character, players_[1]->character, stage_));
    leaveMatch();
}

// Drawing.

void SceneGameMain::draw() {
    switch (state_) {
        case kIntro:
            SetDrawColorScale(155, 155, 155);
            drawMatchScreen();
            drawFigures();
            SetDrawColorScale(255, 255, 255);
            break;
        case kReady: drawReady(); break;
        case kPlay:
            drawMatchScreen();
            drawFigures();
            for (const std::shared_ptr<Player>& p : players_)
                if (p->skill && (p->state == kStateSkillRunning || p->skillRunsWhileFalling)) {
                    p->skill->draw();
                    if (afterSkillDraw_) afterSkillDraw_(*p);
                }
            SkillName::draw();
            break;
        case kPause: drawPause(); break;
        case kRoundEnd:
            drawMatchScreen();
            drawFigures();
            drawWinMark();
            break;
        case kResult: drawResult(); break;
        default: break;
    }
}


void SceneGameMain::drawMatchScreen() {
    Loader& l = *loader_;
    const int c1 = players_[1]->character;
    DrawGraphAt(110, 32, l.image(4 + 4 * c1), 1);
    DrawGraphAt(350, 32, l.image(5 + 4 * c1), 1);
    DrawGraphAt(290, 20, l.image(6 + 4 * c1), 1);
    for (int side = 0; side < 2; ++side) {
        DrawGraphAt(kFieldX[side], kFieldTop, l.image(kImageFieldFrame), 1);
        DrawGraphAt(kFieldX[side] + 46, 32, l.image(kImageGetFrame), 1);
    }
    DrawGraphAt(0, 0, l.image(3 + 4 * c1), 1);

    // One skill background: the one that started later.
    int r, g, b;
    GetDrawColorScale(&r, &g, &b);
    SetDrawColorScale(255, 255, 255);
    // Drawn even when off: a background that is off draws nothing but may reset its counters.
    if (SkillBack* back = skillBackToDraw(players_[0]->skillBack.get(), players_[1]->skillBack.get()))
        back->draw(loader_);
    SetDrawColorScale(r, g, b);

    // Next-piece previews; the fourth slides out of the column and is clipped to it.
    for (int i = 0; i < 4; ++i) {
        const NextPieceEntry& e = nextPieceQueue.entry[i];
        if (e.kind < 0 || e.kind >= kPieceKinds) continue;
        if (i == 3) SetViewportRect(290, 20, 350, 200);
        DrawGraphAt(300 + e.x, 28 + 60 * i + e.y, l.image(kImagePreview + e.kind), 1);
        if (i == 3) SetViewportRect(0, 0, 640, 480);
    }

    // Falling pieces, in two clip areas that do not overlap: the fields, and the window above each field.
    static const int kClips[2][2][4] = {
        {{110, 56, 530, 452}, {110 + 46, 32, 110 + 134, 56}},
        {{110, 56, 530, 452}, {350 + 46, 32, 350 + 134, 56}},
    };
    for (int side = 0; side < 2; ++side) {
        const Player& p = *players_[side];
        if (p.state == kStateClearing || p.state == kStateGarbage || p.state == kStateNextPiece) continue;
        const Block& piece = *p.piece;
        int image = l.image(p.stopTime ? kImageStopTimeChip : kImageCellChip + baseKind(piece.kind));
        SetBlendMode(1, piece.alpha);
        for (const auto& clip : kClips[side]) {
            SetViewportRect(clip[0], clip[1], clip[2], clip[3]);
            for (int r0 = 0; r0 < 4; ++r0) {
                for (int c0 = 0; c0 < 4; ++c0) {
                    int cell = pieceCell(piece.kind, piece.angle, r0, c0);
                    if (cell == kCellEmpty) continue;
                    int x = kFieldX[side] + kCell * (piece.column + c0);
                    int y = kFieldTop + kCell * (piece.row + r0) + p.fallSub / 10;
                    DrawGraphAt(x, y, image, 1);
                    if (cell == kCellChip) DrawGraphAt(x, y, l.image(kImageSkillBall), 1);
                }
            }
        }
        SetBlendMode(0, 255);
        SetViewportRect(0, 0, 640, 480);
    }

    // Level plates with the name of the skill the level would cast.
    for (int side = 0; side < 2; ++side) {
        const Player& p = *players_[side];
        DrawGraphAt(kFieldX[side], 455, l.image(kImageLevelPlate), 1);
        if (p.skillLevel > 0) DrawGraphAt(kFieldX[side], 455, l.image(52 + 3 * p.character + p.skillLevel), 1);
    }

    // Field cells, row by row: a chip's glow reaches into its neighbours, so the cells after it cover that part
    // of it and the cells before it do not; the order stays as it is.
    for (int side = 0; side < 2; ++side) {
        const Player& p = *players_[side];
        int chip = l.image(p.stopTime ? kImageStopTimeChip : kImageSideChip + side);
        int k = p.clearFrames / 3;
        for (int row = 0; row < kFieldRows; ++row) {
            for (int column = 0; column < kFieldColumns; ++column) {
                int x = kFieldX[side] + kCell * column;
                int y = kFieldTop + kCell * row;
                switch (p.cells[row][column]) {
                    case kCellBlock: DrawGraphAt(x, y, chip, 1); break;
                    case kCellChip:
                        DrawGraphAt(x, y, chip, 1);
                        SetBlendMode(1, 180);
                        DrawGraphAt(x, y, l.image(kImageSkillBall), 1);
                        SetBlendMode(2, pulse_);
                        DrawGraphStretched(x - 3, y - 3, x + 20, y + 20, l.image(kImageSkillBall), 1);
                        SetBlendMode(0, 0);
                        break;
                    case kCellMarked: DrawGraphStretched(x + k, y + k, x - k + 17, y - k + 17, chip, 1); break;
                    default: break;
                }
            }
        }
    }

    // Gauges: pending garbage, level lamps, round wins.
    for (int side = 0; side < 2; ++side) {
        const Player& p = *players_[side];
        int send = l.image(kImageSendChip + side);
        for (int i = 0; i < p.pendingGarbage; ++i) DrawGraphAt(side ? 332 : 290, 452 - kCell * (i + 1), send, 1);
        for (int level = 1; level <= 3; ++level) {
            SetBlendMode(1, p.skillLevel >= level ? 255 : 64);
            DrawGraphAt(side ? 560 : 40, 240 - 60 * level, l.image(kImageLamp), 1);
        }
        SetBlendMode(0, 255);
        for (int i = 0; i < p.roundsWon && i < 2; ++i)
            DrawGraphAt(side ? 320 : 290, 300 + 30 * i, l.image(kImageWinMark), 1);
    }
    DrawGraphAt(290, 20, l.image(kImageNextFrame), 1);
}

void SceneGameMain::drawFigures() {
    for (int side = 0; side < 2; ++side) drawFigure(side);
}

void SceneGameMain::drawFigure(int side) {
    Loader& l = *loader_;
    const Player& p = *players_[side];
    std::shared_ptr<Player> rival = p.getEnemy();
    int face = p.face;
    if (rival && rival->stopTime && face != kFaceGrave) face = kFaceHidden;
    if (face == kFaceHidden) return;
    const Point pos = p.getPosition();
    const int x = 520 * side + pos.x - 20;
    const int y = pos.y + 220;
    auto put = [](int px, int py, int graph, bool mirrored) {
        if (mirrored)
            DrawGraphMirrored(px, py, graph, 1);
        else
            DrawGraphAt(px, py, graph, 1);
    };

    int figure;
    bool derived = false;
    if (face == kFaceGrave) {
        figure = l.image(kImageGrave);
    } else {
        figure = DeriveSubGraph(kFigureWidth * p.faceFrame, 0, kFigureWidth, kFigureHeight,
                                l.image(kImageFigure + 12 * p.character + face));
        derived = true;
    }

    if (p.doubleAttack && face != kFaceGrave) {
        SetBlendMode(1, 200);
        put(side ? 530 : -50, y, figure, side == 0);
        SetBlendMode(0, 255);
    }

    int spirit = -1;
    bool afterFigure = false;
    if (p.character == kObren) {
        if (p.state == kStateSkillWait) {
            spirit = DeriveSubGraph(kFigureWidth, 0, kFigureWidth, kFigureHeight, l.image(kImageSpirit));
            afterFigure = true;
        } else if (!p.doubleAttack) {
            spirit = DeriveSubGraph(p.stopTime ? kFigureWidth : 0, 0, kFigureWidth, kFigureHeight,
                                    l.image(kImageSpirit));
            spiritOffset_[side] += spiritRising_[side] ? -spiritSpeed_[side] : spiritSpeed_[side];
            spiritSpeed_[side] -= 0.01;
            if (spiritSpeed_[side] <= 0.0) {
                spiritSpeed_[side] = 1.0;
                spiritRising_[side] = !spiritRising_[side];
            }
            put(x, y + static_cast<int>(spiritOffset_[side]), spirit, side == 0);
        }
    }

    put(x, y, figure, side == 0);
    if (afterFigure) put(x, y + 100, spirit, side != 0);
    if (spirit != -1) ReleaseGraph(spirit, 0);
    if (derived) ReleaseGraph(figure, 0);
}

void SceneGameMain::drawReady() {
    Loader& l = *loader_;
    if (readyStrips_[0] == -1)
        for (int i = 0; i < 5; ++i) readyStrips_[i] = DeriveSubGraph(64 * i, 0, 64, 64, l.image(kImageReady));
    SetDrawColorScale(155, 155, 155);
    drawMatchScreen();
    drawFigures();
    SetDrawColorScale(255, 255, 255);
    bgmName_->draw();
    if (count_ < 90) {
        for (int i = 0; i < 5; ++i) {
            int since = count_ - 15 * i - 15;
            if (since <= 0) continue;
            double scale = 15.0 / since;
            if (scale < 1.0) scale = 1.0;
            DrawGraphRotated(192 + 64 * i, 100, scale, 0.0, readyStrips_[i], 1, 0);
        }
    } else if (count_ <= 121) {
        for (int i = 0; i < 5; ++i)
            DrawGraphStretched(160 + 64 * i, 2 * count_ - 112, 224 + 64 * i, 132, readyStrips_[i], 1);
    } else if (count_ <= 171) {
        DrawGraphAt(160, 68, l.image(kImageStart), 1);
    }
}

void SceneGameMain::drawWinMark() {
    // At fade 0 the mark would be infinitely large (and invisible): nothing to draw yet.
    if (fade_ <= 0) return;
    int b = players_[1]->state == kStateWinner ? 1 : 0;
    SetBlendMode(1, fade_);
    DrawGraphRotated(305 + 30 * b, 315 + 30 * players_[b]->roundsWon, 255.0 / fade_, 0.0,
                     loader_->image(kImageWinMark), 1, 0);
    SetBlendMode(0, 255);
}

void SceneGameMain::drawPause() {
    Loader& l = *loader_;
    SetDrawColorScale(255, 255, 255);
    DrawGraphAt(0, 0, l.image(kImagePause), 1);
    static const int kSkillFigure[2][2] = {{20, -40}, {460, 200}};
    static const int kPortrait[2][2] = {{208, 44}, {48, 282}};
    for (int side = 0; side < 2; ++side) {
        const Player& p = *players_[side];
        bool grave = p.face == kFaceGrave;
        int figure = grave ? l.image(kImageGrave)
                           : DeriveSubGraph(0, 0, kFigureWidth, kFigureHeight, l.image(210 + 12 * p.character));
        if (side == 0)
            DrawGraphMirrored(kSkillFigure[side][0], kSkillFigure[side][1], figure, 1);
        else
            DrawGraphAt(kSkillFigure[side][0], kSkillFigure[side][1], figure, 1);
        if (!grave) ReleaseGraph(figure, 0);
        int portrait = grave ? kImageDeadPortrait : kImagePosePortrait + 4 * p.character + p.skillLevel;
        DrawGraphAt(kPortrait[side][0], kPortrait[side][1], l.image(portrait), 0);
    }
    SetBlendMode(pauseChoice_ == 0 ? 0 : 3, pauseChoice_ == 0 ? 255 : 200);
    DrawGraphAt(0, 221, l.image(kImageBackGame), 1);
    SetBlendMode(pauseChoice_ == 1 ? 0 : 3, pauseChoice_ == 1 ? 255 : 200);
    DrawGraphAt(320, 221, l.image(kImageBackTitle), 1);
    SetBlendMode(0, 255);
    SetDrawColorScale(255, 255, 255);
}

void SceneGameMain::drawResult() {
    Loader& l = *loader_;
    int scale = kResultFrames - resultCount_;
    SetDrawColorScale(scale, scale, scale);
    drawMatchScreen();
    if (resultCount_ <= 50) return;
    int winner = players_[1]->roundsWon >= 2 ? 1 : 0;
    for (int side = 0; side < 2; ++side) {
        const Player& p = *players_[side];
        bool won = side == winner;
        int figure = DeriveSubGraph(0, 0, kFigureWidth, kFigureHeight,
                                    l.image((won ? 210 : 216) + 12 * p.character));
        if (side == 0)
            DrawGraphMirrored(100, 170, figure, 1);
        else
            DrawGraphAt(380, 170, figure, 1);
        ReleaseGraph(figure, 0);
        DrawGraphAt(460 * side, 360, l.image(won ? kImageWinner : kImageLoser), 1);
    }
    if (winner == 1)
        DrawGraphMirrored(128, 64, l.image(kImageBalloon), 1);
    else
        DrawGraphAt(128, 64, l.image(kImageBalloon), 1);
    if (resultImage_ > 0) DrawGraphAt(140, 69, resultImage_, 1);
}
