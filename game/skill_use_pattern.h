// When the computer wants to cast: one policy per character, asked by the computer every falling frame. The
// rules engine still applies its own conditions to the press.
#pragma once

#include <memory>

class Player;

class SkillUsePattern {
public:
    virtual ~SkillUsePattern() = default;
    virtual bool shouldUse(const Player& player) = 0;
};

// The policy of a character; null (never casts) for a character without one.
std::shared_ptr<SkillUsePattern> makeSkillUsePattern(int character);
