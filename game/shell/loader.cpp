// The resource table: entry handles, the single-entry load and release steps, the loading screen and the groups.
#include "game/shell/loader.h"

#include <initializer_list>

#include "game/shell/options.h"
#include "runtime/runtime.h"

namespace {

constexpr int kCharacterCount = 7;
// A degree, with pi taken as 3.14159.
constexpr double kMarkRadiansPerDegree = 0.017453277777777776;

bool IsCharacter(int c) { return c >= 0 && c < kCharacterCount; }

const char* ImagePath(int index) { return index < 3 ? kLoadingImagePaths[index] : kImagePaths[index]; }

}  // namespace

Loader::Loader() {
    for (int& h : imageHandles_) h = -1;
    for (int& h : soundHandles_) h = -1;
}

Loader::~Loader() = default;

int Loader::image(int entry) const {
    return entry >= 0 && entry < kImageEntryCount ? imageHandles_[entry] : -1;
}

int Loader::sound(int entry) const {
    return entry >= 0 && entry < kSoundEntryCount ? soundHandles_[entry] : -1;
}

void Loader::loadImageQuietly(int index, const char* path) {
    // An entry loaded twice without a release in between (a mirror match, a portrait both speakers use, the
    // loading images after a window-mode switch) would otherwise orphan its first graph. A handle the runtime
    // already dropped is refused by ReleaseGraph and costs nothing.
    if (imageHandles_[index] != -1) ReleaseGraph(imageHandles_[index], 0);
    imageHandles_[index] = LoadGraphFromFile(path, 0);
}

void Loader::loadImage(int index, bool release) {
    if (index < 0 || index >= kImageEntryCount) return;
    if (release) {
        if (imageHandles_[index] != -1) ReleaseGraph(imageHandles_[index], 0);
        imageHandles_[index] = -1;
        return;
    }
    loadImageQuietly(index, ImagePath(index));
    markAngle_ = (markAngle_ + 10) % 360;
    drawLoadingScreen();
}

void Loader::loadSound(int index, bool release) {
    if (index < 0 || index >= kSoundEntryCount) return;
    if (soundHandles_[index] != -1) ReleaseSoundHandle(soundHandles_[index]);
    soundHandles_[index] = -1;
    if (release) return;
    soundHandles_[index] = LoadSoundHandleFromFile(kSoundPaths[index], 3, -1);
    if (soundHandles_[index] != -1) SetSoundHandleVolume(masterVolumeLevel(), soundHandles_[index]);
}

void Loader::drawLoadingScreen() {
    ClearTargetScreen();
    DrawGraphAt(0, 0, imageHandles_[0], 0);
    DrawGraphRotated(340, 400, 1.0, markAngle_ * kMarkRadiansPerDegree, imageHandles_[1], 1, 0);
    DrawGraphAt(380, 380, imageHandles_[2], 1);
    // Unpaced: a paced frame per image would cost a frame interval each (seconds over a whole group).
    PresentBackScreenUnpaced();
}

void Loader::loadCommon(bool release) {
    for (int i = 408; i <= 432; ++i) loadImage(i, release);
    for (int s : {0, 12, 13, 14}) loadSound(s, release);
    // In both passes: after a window-mode switch the release pass is what brings the loading screen back for the
    // load pass that follows it.
    for (int i = 0; i < 3; ++i) loadImageQuietly(i, kLoadingImagePaths[i]);
}

void Loader::loadBattle(bool release, int character0, int character1) {
    if (keepFlag_) {
        if (!release) keepFlag_ = false;
        return;
    }
    if (IsCharacter(character1)) {
        const int c1 = character1;
        for (int i : {4 + 4 * c1, 5 + 4 * c1, 6 + 4 * c1, 3 + 4 * c1}) loadImage(i, release);
    }
    for (int i = 37; i <= 52; ++i) loadImage(i, release);
    for (int i = 110; i <= 135; ++i) loadImage(i, release);
    loadImage(137, release);
    for (int c : {character0, character1}) {
        if (!IsCharacter(c)) continue;
        for (int i = 205 + 12 * c; i <= 216 + 12 * c; ++i) loadImage(i, release);
        for (int i = 53 + 3 * c; i <= 55 + 3 * c; ++i) loadImage(i, release);
        for (int i = 74 + 3 * c; i <= 76 + 3 * c; ++i) loadImage(i, release);
        for (int i = 291 + 4 * c; i <= 294 + 4 * c; ++i) loadImage(i, release);
        loadImage(198 + c, release);
        loadImage(320 + c, release);
    }
    for (int i : {319, 289, 290}) loadImage(i, release);
    loadSkillImages(release, character0);
    loadSkillImages(release, character1);
    if (IsCharacter(character1)) loadSound(1 + character1, release);
    for (int s = 18; s <= 45; ++s) loadSound(s, release);
    // The warning the rules engine sounds on a refused skill or rotation lives with the match.
    loadSound(16, release);
}

void Loader::loadSkillImages(bool release, int character) {
    struct Range {
        int first, last;
    };
    static const Range kSkillImages[kCharacterCount][3] = {
        {{95, 96}, {328, 334}, {0, -1}},    // Kessa
        {{97, 98}, {335, 346}, {0, -1}},    // Pelun
        {{99, 100}, {347, 354}, {0, -1}},   // Fiora
        {{101, 103}, {355, 360}, {0, -1}},  // Vellis
        {{104, 106}, {361, 363}, {0, -1}},  // Obren
        {{107, 107}, {364, 369}, {0, -1}},  // Quen
        {{108, 109}, {0, -1}, {0, -1}},     // Wix
    };
    if (!IsCharacter(character)) return;
    for (const Range& r : kSkillImages[character]) {
        for (int i = r.first; i <= r.last; ++i) loadImage(i, release);
    }
}

void Loader::loadPortraits(int stage, bool release, int character) {
    switch (character) {
        case 0:
            for (int i = 168; i <= 173; ++i) loadImage(i, release);
            if (stage == 0) loadImage(192, release);
            break;
        case 1:
            for (int i = 174; i <= 177; ++i) loadImage(i, release);
            if (stage == 0) loadImage(193, release);
            break;
        case 2:
            for (int i = 178; i <= 182; ++i) loadImage(i, release);
            break;
        case 3:
            for (int i = 183; i <= 185; ++i) loadImage(i, release);
            if (stage == 0) loadImage(186, release);
            break;
        case 4:
            for (int i : {187, 188, 189, 191, 190}) loadImage(i, release);
            break;
        case 5:
            for (int i : {192, 195, 193, 194}) loadImage(i, release);
            if (stage == 0) {
                loadImage(179, release);
                loadImage(181, release);
            } else if (stage == 1) {
                loadImage(183, release);
            }
            break;
        default:
            return;  // Wix and anything else: no portraits, no sheets
    }
    for (int i = 138 + 5 * character; i <= 142 + 5 * character; ++i) loadImage(i, release);
}

void Loader::loadCharacterSet(int stage, bool release, int character, int partner, bool after) {
    if (after && stage == 4) {
        loadImage(433, release);
        loadImage(434, release);
        if (IsCharacter(character) && character != 6) {
            loadImage(435 + 2 * character, release);
            loadImage(436 + 2 * character, release);
        }
        loadSound(10, release);
        loadSound(15, release);
        return;
    }
    loadPortraits(stage, release, character);
    loadPortraits(stage, release, partner);
    const int b = stage < 1 ? character : partner;
    if (IsCharacter(b)) loadImage(31 + b, release);
    for (int i : {197, 196, 48, 137, 136}) loadImage(i, release);
    for (int s : {8, 15, 17}) loadSound(s, release);
}

void Loader::loadExtraScene(bool release) {
    for (int i = 370; i <= 407; ++i) loadImage(i, release);
    for (int s : {11, 46, 15}) loadSound(s, release);
}
