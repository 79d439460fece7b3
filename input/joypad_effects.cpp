// Pad vibration: each pad's sine and constant-force effects follow its request while the application is
// active, a vibration with a time runs out in the message pump's passes, and everything stops while the
// application is inactive.
#include "input/device_state.h"
#include "runtime/window.h"

namespace {

constexpr int kConstantForcePowerThreshold = 5000;

bool HasEffects(const JoypadRecord& pad) { return pad.sineEffect != nullptr || pad.constantEffect != nullptr; }

void SetEffectRunning(IDirectInputEffect* effect, int* applied, int wanted) {
    if (effect == nullptr || *applied == wanted) return;
    if (wanted) {
        effect->Start(1, 0);
    } else {
        effect->Stop();
    }
    *applied = wanted;
}

}  // namespace

int AdvanceJoypadEffectClock(JoypadEffectState* effect, DWORD now) {
    const int step = (int)(now - effect->lastTick);
    effect->lastTick = now;
    if (step < 0) return 0;  // the clock went backwards: start counting again from here
    effect->elapsedMs += step;
    return effect->elapsedMs >= effect->timeMs ? 1 : 0;
}

int StopJoypadEffect(int pad) {
    InputState& input = InputDeviceState();
    if (pad < 1 || pad > input.padCount) return 0;
    JoypadRecord& record = input.pads[pad - 1];
    if (HasEffects(record) && record.effect.requested) {
        record.effect.requested = 0;
        record.effect.power = DI_FFNOMINALMAX;
        ApplyJoypadEffects();
    }
    return 0;
}

int UpdateJoypadEffects() {
    InputState& input = InputDeviceState();
    const DWORD now = timeGetTime();
    for (int i = 0; i < input.padCount; ++i) {
        JoypadRecord& pad = input.pads[i];
        if (!HasEffects(pad) || !pad.effect.requested || pad.effect.timeMs < 0) continue;
        if (AdvanceJoypadEffectClock(&pad.effect, now)) StopJoypadEffect(i + 1);
    }
    return ApplyJoypadEffects();
}

int ApplyJoypadEffects() {
    InputState& input = InputDeviceState();
    const bool active = IsAppActive() != 0;
    for (int i = 0; i < input.padCount; ++i) {
        JoypadRecord& pad = input.pads[i];
        if (!HasEffects(pad)) continue;
        JoypadEffectState& effect = pad.effect;
        if (active) {
            SetEffectRunning(pad.sineEffect, &effect.sineApplied, effect.requested ? 1 : 0);
            const int constantWanted = effect.requested && effect.power > kConstantForcePowerThreshold ? 1 : 0;
            SetEffectRunning(pad.constantEffect, &effect.constantApplied, constantWanted);
        } else {
            SetEffectRunning(pad.sineEffect, &effect.sineApplied, 0);
            SetEffectRunning(pad.constantEffect, &effect.constantApplied, 0);
            effect.sineApplied = 0;
            effect.constantApplied = 0;
        }
    }
    return 0;
}
