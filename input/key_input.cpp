// Key-input records: a line of text edited from the character ring, one active record at a time, fed once
// per message-pump pass. Character boundaries in the line are always found by walking it from its start, so
// a trail byte that happens to look like a lead byte never splits a character.
#include <ctype.h>
#include <string.h>
#include <windows.h>
#include <imm.h>

#include "input/char_input_state.h"
#include "runtime/handle.h"
#include "runtime/memory.h"
#include "runtime/window.h"

namespace {

CharInputState& State() { return GetCharInputState(); }

// Start of the character that ends at or straddles `position`, found from the start of the line.
int CharStartBefore(const KeyInputRecord& record, int position) {
    int start = 0;
    for (int i = 0; i < position;) {
        start = i;
        i += (IsInputLeadByte((unsigned char)record.text[i]) && i + 1 < record.length) ? 2 : 1;
    }
    return start;
}

int CharLengthAt(const KeyInputRecord& record, int position) {
    return (IsInputLeadByte((unsigned char)record.text[position]) && position + 1 < record.length) ? 2 : 1;
}

void RemoveBytes(KeyInputRecord& record, int position, int count) {
    memmove(record.text + position, record.text + position + count, (size_t)(record.length - position - count));
    record.length -= count;
    record.text[record.length] = '\0';
}

bool AcceptsChar(const KeyInputRecord& record, const unsigned char* bytes, int count) {
    if (record.singleByteOnly && count == 2) return false;
    if (record.digitsOnly) {
        if (count != 1) return false;
        const bool digit = isdigit(bytes[0]) != 0;
        const bool leadingMinus = bytes[0] == '-' && record.cursor == 0;
        if (!digit && !leadingMinus) return false;
    }
    return true;
}

void InsertChar(KeyInputRecord& record, const unsigned char* bytes, int count) {
    if (!AcceptsChar(record, bytes, count)) return;
    // A full line gives up its last characters to make room.
    while (record.length + count > record.maxLength && record.length > 0) {
        const int last = CharStartBefore(record, record.length);
        if (record.cursor > last) record.cursor = last;
        RemoveBytes(record, last, record.length - last);
    }
    if (record.length + count > record.maxLength) return;  // a character wider than the whole line
    memmove(record.text + record.cursor + count, record.text + record.cursor,
            (size_t)(record.length - record.cursor));
    memcpy(record.text + record.cursor, bytes, (size_t)count);
    record.length += count;
    record.cursor += count;
    record.text[record.length] = '\0';
}

// One step of the IME re-open that activation asked for: keep what was being composed, cancel it, close
// and open the IME, and compose the kept text again.
void RunImeReopenSteps() {
    CharInputState& s = State();
    HWND window = GetMainHwnd();
    while (s.reopenStep != 0) {
        switch (s.reopenStep) {
            case 1: {
                s.reopenComposition[0] = '\0';
                HIMC context = ImmGetContext(window);
                if (context != nullptr) {
                    const LONG room = (LONG)sizeof(s.reopenComposition) - 1;
                    LONG size = ImmGetCompositionStringA(context, GCS_COMPSTR, s.reopenComposition, (DWORD)room);
                    // An input method that reports the whole length rather than what it copied must not make
                    // the terminator land outside the buffer.
                    if (size > room) size = room;
                    s.reopenComposition[size > 0 ? size : 0] = '\0';
                    ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
                    ImmReleaseContext(window, context);
                }
                s.reopenStep = 2;
                break;
            }
            case 2:
                SetImeOpenStatus(0);
                s.reopenStep = 3;
                break;
            case 3:
                SetImeOpenStatus(1);
                s.reopenStep = 4;
                break;
            default: {
                HIMC context = ImmGetContext(window);
                if (context != nullptr) {
                    ImmSetOpenStatus(context, TRUE);
                    const DWORD length = (DWORD)strlen(s.reopenComposition);
                    if (length > 0) {
                        ImmSetCompositionStringA(context, SCS_SETSTR, s.reopenComposition, length, nullptr, 0);
                    }
                    ImmReleaseContext(window, context);
                }
                s.reopenStep = 0;
                break;
            }
        }
    }
}

}  // namespace

KeyInputRecord* KeyInputRecordOf(int handle) {
    if (handle < 0 || HandleTypeOf(handle) != kHandleTypeKeyInput) return nullptr;
    const int slot = HandleSlotOf(handle);
    if (slot >= kKeyInputRecords) return nullptr;
    KeyInputRecord& record = State().records[slot];
    if (!record.inUse || record.checkId != HandleCheckIdOf(handle)) return nullptr;
    return &record;
}

int MakeKeyInput(int maxLength, int escapeAllowed, int singleByteOnly, int digitsOnly) {
    if (maxLength < 1) return -1;
    CharInputState& s = State();
    for (int slot = 0; slot < kKeyInputRecords; ++slot) {
        KeyInputRecord& record = s.records[slot];
        if (record.inUse) continue;
        char* text = static_cast<char*>(TrackedAllocZeroed((size_t)maxLength + 1, __FILE__, __LINE__));
        if (text == nullptr) return -1;
        record = KeyInputRecord{};
        record.inUse = 1;
        record.checkId = s.nextCheckId;
        s.nextCheckId = (s.nextCheckId + 1) % kHandleCheckIdCount;
        record.maxLength = maxLength;
        record.text = text;
        record.escapeAllowed = escapeAllowed ? 1 : 0;
        record.singleByteOnly = singleByteOnly ? 1 : 0;
        record.digitsOnly = digitsOnly ? 1 : 0;
        return MakeHandle(kHandleTypeKeyInput, record.checkId, slot);
    }
    return -1;
}

int SetActiveKeyInput(int handle) {
    if (handle != -1 && KeyInputRecordOf(handle) == nullptr) return -1;
    State().activeKeyInput = handle;
    return 0;
}

void ApplyKeyInputChar(KeyInputRecord* record, const unsigned char* bytes, int count) {
    KeyInputRecord& r = *record;
    if (count == 1) {
        switch (bytes[0]) {
            case 8:  // backspace
                if (r.cursor > 0) {
                    const int start = CharStartBefore(r, r.cursor);
                    RemoveBytes(r, start, r.cursor - start);
                    r.cursor = start;
                }
                return;
            case 16:  // delete
                if (r.cursor < r.length) RemoveBytes(r, r.cursor, CharLengthAt(r, r.cursor));
                return;
            case 13:
                r.ended = 1;
                return;
            case 27:
                if (r.escapeAllowed) {
                    r.cancelled = 1;
                    r.ended = 1;
                }
                return;
            case 28:  // right
                if (r.cursor < r.length) r.cursor += CharLengthAt(r, r.cursor);
                return;
            case 29:  // left
                if (r.cursor > 0) r.cursor = CharStartBefore(r, r.cursor);
                return;
            case 9:
            case 30:
            case 31:
                return;
            default:
                break;
        }
    }
    InsertChar(r, bytes, count);
}

int UpdateKeyInput() {
    CharInputState& s = State();
    // The IME belongs to the window's thread; the message thread leaves the request for the main thread.
    if (s.reopenStep != 0 && (GetMainThreadId() == 0 || GetMainThreadId() == GetCurrentThreadId())) {
        RunImeReopenSteps();
    }
    if (s.activeKeyInput == -1) return 0;
    KeyInputRecord* record = KeyInputRecordOf(s.activeKeyInput);
    if (record == nullptr) return -1;
    while (!record->ended) {
        char c[2];
        const int count = PopInputChar(c, 1);
        if (count == 0) break;
        ResetCaretBlink();
        ApplyKeyInputChar(record, reinterpret_cast<const unsigned char*>(c), count);
    }
    return 0;
}

int ReleaseKeyInput(int handle) {
    KeyInputRecord* record = KeyInputRecordOf(handle);
    if (record == nullptr) return -1;
    TrackedFree(record->text);
    *record = KeyInputRecord{};
    CharInputState& s = State();
    if (s.activeKeyInput == handle) s.activeKeyInput = -1;
    for (const KeyInputRecord& other : s.records) {
        if (other.inUse) return 0;
    }
    SetImeEnabled(0);
    return 0;
}

int ReleaseAllKeyInputs() {
    CharInputState& s = State();
    for (KeyInputRecord& record : s.records) {
        if (!record.inUse) continue;
        TrackedFree(record.text);
        record = KeyInputRecord{};
    }
    s.activeKeyInput = -1;
    return 0;
}
