// The character input's state block and the key-input record, for the input sources and their tests.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "input/char_input.h"

constexpr int kCharRingSlots = 1025;  // one slot stays free: 1024 bytes fit
constexpr int kImeTextBytes = 1024;
constexpr int kKeyInputRecords = 20;
constexpr int kKeyInputColorCount = 9;

struct KeyInputRecord {
    int inUse;
    int checkId;
    int ended;
    int cancelled;
    int length;     // bytes of text, without the terminating zero
    int maxLength;  // bytes
    int cursor;     // byte position
    char* text;     // tracked, maxLength + 1 bytes
    int escapeAllowed;
    int singleByteOnly;
    int digitsOnly;
};

struct CharInputState {
    unsigned char ring[kCharRingSlots];
    int writeIndex;
    int readIndex;

    int composing;
    char compositionText[kImeTextBytes];  // always zero-terminated
    int compositionCursor;                // in characters
    unsigned char clauseTable[kImeTextBytes];
    int clauseCount;
    void* candidateList;  // CANDIDATELIST in tracked memory, or null
    int imeEnabled;
    int imeOpenStatus;
    int reopenStep;
    char reopenComposition[kImeTextBytes];
    int imeMessageSeen;

    int activeKeyInput;  // -1 = none
    int secondKeyInput;  // -1
    int nextCheckId;

    DWORD caretBlinkStart;
    int caretBlinkInterval;
    int caretVisible;

    uint32_t colors[kKeyInputColorCount];

    KeyInputRecord records[kKeyInputRecords];
};

CharInputState& GetCharInputState();

// A key-input record for a line of at most maxLength bytes. The handle, or -1 when all 20 are in use, the
// length is below 1 or memory runs out.
int MakeKeyInput(int maxLength, int escapeAllowed, int singleByteOnly, int digitsOnly);
// The key input that UpdateKeyInput feeds (-1 for none). 0, or -1 for a handle that is not live.
int SetActiveKeyInput(int handle);
// The record behind a live handle, or null.
KeyInputRecord* KeyInputRecordOf(int handle);
// Applies one character (1 or 2 bytes, or a control code) to the record as the line editor does.
void ApplyKeyInputChar(KeyInputRecord* record, const unsigned char* bytes, int count);
