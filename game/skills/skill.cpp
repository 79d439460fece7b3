// Skill base, factory table and the common end.
#include "game/skills/skill.h"

#include "game/match/player.h"
#include "game/shell/loader.h"
#include "game/skills/skills_fiora.h"
#include "game/skills/skills_kessa.h"
#include "game/skills/skills_obren.h"
#include "game/skills/skills_pelun.h"
#include "game/skills/skills_quen.h"
#include "game/skills/skills_vellis.h"
#include "game/skills/skills_wix.h"
#include "runtime/runtime.h"

// The characters' skill classes by level.
SkillFactory skillClassTable[7][3] = {
    {makeSkillOrrant, makeSkillSaisen, makeSkillDorvel},    // 0 Kessa
    {makeSkillVintrel, makeSkillCorvane, makeSkillGrakel},  // 1 Pelun
    {makeSkillPobb, makeSkillSalk, makeSkillQuillow},       // 2 Fiora
    {makeSkillDoll, makeSkillTrick, makeSkillSquare},       // 3 Vellis
    {makeSkillTelvix, makeSkillOssive, makeSkillDoubles},   // 4 Obren
    {makeSkillWind, makeSkillCopy, makeSkillManbo},         // 5 Quen
    {makeSkillBaka, makeSkillIce, makeSkillDead},           // 6 Wix
};

Skill::Skill(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader)
    : loader(std::move(loader)), owner_(owner) {}

Skill::~Skill() = default;

std::shared_ptr<Skill> createSkill(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader) {
    if (!owner) return nullptr;
    int character = owner->character;
    int level = owner->skillLevel;
    if (character < 0 || character > 6 || level < 1 || level > 3) return nullptr;
    SkillFactory factory = skillClassTable[character][level - 1];
    if (factory == nullptr) return nullptr;
    std::shared_ptr<Skill> skill = factory(owner, loader);
    if (skill) owner->setSkill(skill);
    return skill;
}

void finishSkill(Skill& skill) {
    Player* owner = skill.owner();
    if (owner == nullptr) return;
    owner->state = kStateSkillOverBoth;
    if (owner->face != kFaceGrave) owner->face = kFaceNormal;
    owner->faceFrame = 0;
}

int skillImage(const std::shared_ptr<Loader>& loader, int entry) { return loader ? loader->image(entry) : -1; }

void playSkillSound(const std::shared_ptr<Loader>& loader, int entry) {
    if (loader) PlaySoundHandle(loader->sound(entry), kSoundPlayBack, 1);
}

void setSkillFace(Player& player, int face) {
    if (player.face != kFaceGrave) player.face = face;
}

void endFallingRun(Player& owner) {
    owner.skillRunsWhileFalling = false;
    if (owner.state == kStateFalling) {
        owner.state = kStateSkillOverSelf;
        return;
    }
    owner.fadeSkillDecor();
}

bool skillClassExists(int character, int level) {
    return character >= 0 && character <= 6 && level >= 1 && level <= 3 && skillClassTable[character][level - 1];
}

SkillFactory replaceSkillClassForTesting(int character, int level, SkillFactory factory) {
    if (character < 0 || character > 6 || level < 1 || level > 3) return nullptr;
    SkillFactory old = skillClassTable[character][level - 1];
    skillClassTable[character][level - 1] = factory;
    return old;
}
