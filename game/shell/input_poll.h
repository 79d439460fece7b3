// The per-frame input poll: one button word per side, sampled once a frame by pollInput (called by the frame
// loop after the screen is cleared). Scenes and the rules engine read only these words; an action fires on a
// bit set in inputCurrent and clear in inputPrevious (see inputPressed).
#pragma once

// Button bits, as the runtime's joypad word gives them.
constexpr int kButtonDown = 0x01;
constexpr int kButtonLeft = 0x02;
constexpr int kButtonRight = 0x04;
constexpr int kButtonUp = 0x08;
constexpr int kButtonFirst = 0x10;   // decide / rotate one way
constexpr int kButtonSecond = 0x20;  // cancel / rotate the other way
constexpr int kButtonThird = 0x40;   // pause

extern int inputCurrent[2];
extern int inputPrevious[2];
// Set by the match scene while side 1 is the computer: side 1's words are zeroed after every poll, so only the
// computer player's own bits (ORed into inputCurrent[1] during the frame) reach the rules.
extern bool cpuInputIgnored;

// Samples both sides: previous = current, current = the side's source's word; then the computer zeroing.
void pollInput();

// The source a side reads with padCount pads connected: a pad number (1-based), or kJoypadWithKeyboard for the
// keyboard. Three or more pads are read like two.
int inputSourceFor(int side, int padCount);

// True when a bit of `bits` was pressed this frame (set now, clear in the previous word) / is held now.
inline bool inputPressed(int side, int bits) { return (inputCurrent[side] & ~inputPrevious[side] & bits) != 0; }
inline bool inputHeld(int side, int bits) { return (inputCurrent[side] & bits) != 0; }

// Test seam: where pollInput gets the pad count and a source's word. Null restores the runtime's
// GetJoypadCount / GetJoypadState. The stepping harness feeds its scripted words through this.
struct InputDevices {
    int (*padCount)();
    int (*padState)(int source);
};
void setInputDevicesForTest(const InputDevices* devices);

// Zeroes both sides' words and clears cpuInputIgnored (a fresh game start).
void resetInput();
