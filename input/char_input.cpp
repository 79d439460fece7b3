// The character ring between the window procedure and the key-input records: typed bytes, control codes
// for the editing keys and IME result strings go in byte by byte, and come out whole characters at a time.
#include <string.h>

#include "graphics/color/color_format.h"
#include "input/char_input_state.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/window.h"

namespace {

CharInputState g_chars;

struct ControlKey {
    int virtualKey;
    int code;
};

const ControlKey kControlKeys[] = {
    {VK_DELETE, 16}, {VK_LEFT, 29}, {VK_RIGHT, 28}, {VK_UP, 30}, {VK_DOWN, 31}, {0, 0},
};

struct Rgb {
    int r, g, b;
};

const Rgb kKeyInputColors[kKeyInputColorCount] = {
    {255, 255, 255}, {255, 255, 0}, {255, 255, 255}, {0, 255, 255}, {255, 255, 255},
    {255, 0, 0},     {255, 255, 20}, {0, 0, 0},      {0, 0, 0},
};

constexpr int kCaretBlinkIntervalMs = 500;

int NextRingIndex(int index) { return index + 1 >= kCharRingSlots ? 0 : index + 1; }
int PreviousRingIndex(int index) { return index == 0 ? kCharRingSlots - 1 : index - 1; }
bool RingEmpty() { return g_chars.readIndex == g_chars.writeIndex; }

}  // namespace

CharInputState& GetCharInputState() { return g_chars; }

int InitCharInputBuffer() {
    WriteLog("文字コードバッファの初期化を行います... ");
    // A second initialisation must not strand the memory of records or a candidate list still held.
    for (KeyInputRecord& record : g_chars.records) {
        if (record.text != nullptr) TrackedFree(record.text);
    }
    if (g_chars.candidateList != nullptr) TrackedFree(g_chars.candidateList);
    memset(&g_chars, 0, sizeof(g_chars));
    for (int i = 0; i < kKeyInputColorCount; ++i) {
        g_chars.colors[i] = RgbToScreenPixelImpl(kKeyInputColors[i].r, kKeyInputColors[i].g, kKeyInputColors[i].b);
    }
    g_chars.activeKeyInput = -1;
    g_chars.secondKeyInput = -1;
    g_chars.caretBlinkStart = 0;
    g_chars.caretBlinkInterval = kCaretBlinkIntervalMs;
    g_chars.caretVisible = 1;
    WriteLog("完了しました\n");
    return 0;
}

int PushInputChar(int byte) {
    const int next = NextRingIndex(g_chars.writeIndex);
    if (next == g_chars.readIndex) return -1;  // full: write + 1 = read, or write = 1024 with read = 0
    g_chars.ring[g_chars.writeIndex] = (unsigned char)byte;
    g_chars.writeIndex = next;
    return 0;
}

int PopInputChar(char out[2], int take) {
    if (RingEmpty()) return 0;
    const unsigned char first = g_chars.ring[g_chars.readIndex];
    g_chars.readIndex = NextRingIndex(g_chars.readIndex);
    int result = 1;
    out[0] = (char)first;
    if (!IsControlCharCode(first) && IsInputLeadByte(first)) {
        if (RingEmpty()) {
            // The trail byte has not arrived yet: the lead byte waits in the ring.
            g_chars.readIndex = PreviousRingIndex(g_chars.readIndex);
            return 0;
        }
        out[1] = (char)g_chars.ring[g_chars.readIndex];
        if (take) g_chars.readIndex = NextRingIndex(g_chars.readIndex);
        result = 2;
    }
    if (!take) g_chars.readIndex = PreviousRingIndex(g_chars.readIndex);
    return result;
}

int ControlCodeForKey(int virtualKey) {
    for (const ControlKey* key = kControlKeys; key->virtualKey != 0; ++key) {
        if (key->virtualKey == virtualKey) return key->code;
    }
    return 0;
}

int IsControlCharCode(int byte) {
    for (const ControlKey* key = kControlKeys; key->virtualKey != 0; ++key) {
        if (key->code == byte) return 1;
    }
    return 0;
}

int IsInputLeadByte(unsigned char byte) {
    if (GetCharSetKind() == 2) return (byte & 0x80) ? 1 : 0;  // Korean code page 949
    return ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) ? 1 : 0;
}

int CountCharsInBytes(const char* text, int bytes) {
    int count = 0;
    for (int i = 0; i < bytes && text[i] != '\0'; ++count) {
        i += (IsInputLeadByte((unsigned char)text[i]) && text[i + 1] != '\0') ? 2 : 1;
    }
    return count;
}

int ResetCaretBlink() {
    g_chars.caretBlinkStart = timeGetTime();
    g_chars.caretVisible = 1;
    return 0;
}
