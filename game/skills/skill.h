// The skill framework: the base every character skill derives from, the factory table of seven characters by
// three levels, and the common end. The rules engine creates a skill, with its own Loader, when its owner reaches
// rules state 7 and then updates it once a frame; the match scene draws it.
//
// Ownership: a Player owns its installed skill; a skill reaches its owner only through owner(), which holds
// no reference. A skill must never keep a shared_ptr to its owner or the rival in a member: that would make
// the pair keep each other alive past the round.
#pragma once

#include <memory>

class Loader;
class Player;

class Skill {
public:
    Skill(const std::shared_ptr<Player>& owner, std::shared_ptr<Loader> loader);
    virtual ~Skill();
    // One frame of the skill. It ends itself by setting its owner's state to 8 (both sides to the next
    // piece) or 9 (the owner goes on falling).
    virtual void update() = 0;
    // Draws the skill's effect after the fields.
    virtual void draw() = 0;

    // The caster, or null once it is gone. Non-owning on purpose (see above).
    Player* owner() const { return owner_.lock().get(); }
    std::weak_ptr<Player> ownerLink() const { return owner_; }

protected:
    std::shared_ptr<Loader> loader;

private:
    std::weak_ptr<Player> owner_;
};

using SkillFactory = std::shared_ptr<Skill> (*)(const std::shared_ptr<Player>& owner,
                                               const std::shared_ptr<Loader>& loader);

// Makes the skill of the owner's character at the level being cast, with the Loader it draws and plays from
// (the rules engine's), and installs it (which spends the level). Returns the new skill, or null when the
// character or level has no class: nothing is installed then.
std::shared_ptr<Skill> createSkill(const std::shared_ptr<Player>& owner, const std::shared_ptr<Loader>& loader);

// The common end of skills that run while both sides are held: owner to state 8, face 0 (the grave stays),
// figure frame 0.
void finishSkill(Skill& skill);

// The end of a falling-run skill, after it has cleared the flags it set (skillRunsWhileFalling too). An owner
// still falling goes to state 9 and the end step fades the background and banner. When this frame's lock has
// already moved the owner on (2, 3, 4 or 11), state 9 would make it go on with a piece that is already in the
// field, so the fades start here and the lock's state stays.
void endFallingRun(Player& owner);

// Helpers every skill uses. A skill made without a Loader finds no pictures (-1) and plays nothing.
int skillImage(const std::shared_ptr<Loader>& loader, int entry);
// Plays a skill sound from the start, in the background.
void playSkillSound(const std::shared_ptr<Loader>& loader, int entry);
// Writes a face, leaving the grave figure alone (only the skill that makes the grave writes over it).
void setSkillFace(Player& player, int face);

// The class table: skillClassTable[character][level - 1]. An empty cell casts nothing.
extern SkillFactory skillClassTable[7][3];

// Whether the character has a skill class at that level (false outside the table).
bool skillClassExists(int character, int level);

// Test seam: puts a scripted skill class into one table cell and returns what was there.
SkillFactory replaceSkillClassForTesting(int character, int level, SkillFactory factory);
