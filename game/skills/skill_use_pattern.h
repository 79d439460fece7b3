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

class SkillUsePatternKessa : public SkillUsePattern {
public:
    bool shouldUse(const Player& player) override;
};

class SkillUsePatternPelun : public SkillUsePattern {
public:
    bool shouldUse(const Player& player) override;
};

class SkillUsePatternFiora : public SkillUsePattern {
public:
    bool shouldUse(const Player& player) override;
};

class SkillUsePatternVellis : public SkillUsePattern {
public:
    bool shouldUse(const Player& player) override;
};

// Casts exactly when Vellis would.
class SkillUsePatternObren : public SkillUsePatternVellis {};

class SkillUsePatternQuen : public SkillUsePattern {
public:
    bool shouldUse(const Player& player) override;
};

class SkillUsePatternWix : public SkillUsePattern {
public:
    bool shouldUse(const Player& player) override;
};

// Whether some cell in the field's top `rows` rows is not empty.
bool anyCellInTopRows(const Player& player, int rows);

// The policy of a character; null (never casts) for a character without one.
std::shared_ptr<SkillUsePattern> makeSkillUsePattern(int character);
