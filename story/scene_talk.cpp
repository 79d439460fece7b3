// The story conversation scene (see scene_talk.h).
#include "story/scene_talk.h"

#include "game/shell/loader.h"
#include "graphics/graphics.h"
#include "story/scene_title.h"
#include "story/story_links.h"
#include "story/story_release.h"
#include "story/story_sound.h"
#include "story/talk.h"
#include "story/talk_script_data.h"
#include "story/talk_scripts.h"

namespace {

constexpr int kBackgrounds = 31;  // 31 + character
constexpr int kTalkFrame = 136;
constexpr int kFlashImage = 48;
constexpr int kTalkMusic = 8;
constexpr int kFlashSound = 17;
constexpr int kFlashHalf = 256;

}  // namespace

SceneTalk::SceneTalk(int character, int partner, int stage, bool afterMatch, std::shared_ptr<Loader> loader)
    : Scene(std::move(loader)),
      character_(character),
      partner_(partner),
      stage_(stage),
      afterMatch_(afterMatch),
      talk_(createTalk(character, stage, afterMatch, loader_)) {}

SceneTalk::~SceneTalk() {
    for (int& half : flashHalf_) releaseStoryGraph(half);
    talk_.reset();
}

std::shared_ptr<Talk> SceneTalk::createTalk(int character, int stage, bool afterMatch, std::shared_ptr<Loader> loader) {
    const story::TalkMember* member = story::FindTalkMember(character, stage, afterMatch);
    if (member == nullptr) return nullptr;
    return makeTalkScript(member->name, std::move(loader));
}

void SceneTalk::loadResources(bool release) {
    loader_->loadCharacterSet(stage_, release, character_, partner_, afterMatch_);
    if (release) return;
    if (talk_) talk_->load();
    for (int& half : flashHalf_) releaseStoryGraph(half);
    const int flash = loader_->image(kFlashImage);
    flashHalf_[0] = DeriveSubGraph(0, 0, kFlashHalf, kFlashHalf, flash);
    flashHalf_[1] = DeriveSubGraph(kFlashHalf, 0, kFlashHalf, kFlashHalf, flash);
}

void SceneTalk::stepFlash() {
    if (flashCounter_ >= 120) state_ = kFadeOut;
    if (flashCounter_ == 40) playEffect(loader_->sound(kFlashSound));
    ++flashCounter_;
}

void SceneTalk::finish() {
    finished_ = true;
    StopSoundHandle(loader_->sound(kTalkMusic));
    std::shared_ptr<Scene> next;
    if (stage_ == 0) {
        next = std::make_shared<SceneTalk>(character_, storyOpponent(1, character_), 1, false, loader_);
    } else if (!afterMatch_) {
        next = makeMatchScene(character_, partner_, false, true, stage_, loader_);
    } else if (stage_ < 4) {
        next = std::make_shared<SceneTalk>(character_, storyOpponent(stage_ + 1, character_), stage_ + 1, false,
                                           loader_);
    } else {
        next = std::make_shared<SceneTitle>(loader_);
    }
    setNextScene(next);
}

void SceneTalk::update() {
    const int music = loader_->sound(kTalkMusic);
    switch (state_) {
        case kFadeIn:
            SetSoundHandleVolume(fadedVolume(fade_), music);
            keepMusicPlaying(music);
            if (fade_ < 255) {
                fade_ += 5;
            } else {
                state_ = kTalk;
            }
            break;
        case kTalk: {
            SetSoundHandleVolume(fadedVolume(fade_), music);
            keepMusicPlaying(music);
            // Without a script there is nothing to say: the talk is over at once.
            const bool over = talk_ ? talk_->update() : true;
            if (over) {
                if (afterMatch_) {
                    state_ = kFadeOut;
                } else {
                    StopSoundHandle(music);
                    state_ = stage_ == 0 ? kFadeOut : kFlash;
                }
            }
            break;
        }
        case kFlash:
            stepFlash();
            break;
        case kFadeOut:
            if (showsFlash()) stepFlash();
            if (fade_ > 0) {
                fade_ -= 3;
                if (fade_ < 0) fade_ = 0;
            } else if (!finished_) {
                finish();
            }
            break;
        default:
            break;
    }
    draw();
}

void SceneTalk::draw() {
    SetDrawColorScale(fade_, fade_, fade_);
    DrawGraphAt(0, 0, loader_->image(kBackgrounds + (stage_ == 0 ? character_ : partner_)), 0);
    DrawGraphAt(0, 0, loader_->image(kTalkFrame), 1);
    if (state_ == kFlash || (state_ == kFadeOut && showsFlash())) {
        const int k = (flashCounter_ % 10) / 5;
        SetBlendMode(1, 200);
        DrawGraphMirrored(-20, 120, flashHalf_[k], 1);
        DrawGraphAt(410, 120, flashHalf_[k], 1);
        SetBlendMode(2, 50);
        DrawGraphMirrored(-20, 120, flashHalf_[1 - k], 1);
        DrawGraphAt(410, 120, flashHalf_[1 - k], 1);
        SetBlendMode(0, 255);
    }
    if (talk_) talk_->draw();
    SetDrawColorScale(255, 255, 255);
}
