// Typed characters and the input method: the character ring that the window procedure fills, the IME
// message handling, the key-input records that edit a line of text from the ring, and the per-pass update.
// Callers hold the API lock (the window procedure runs inside ProcessMessage, which holds it).
#pragma once

#include <windows.h>

// Clears the ring, the IME bookkeeping and the key-input records. Returns 0.
int InitCharInputBuffer();

// ---- The character ring ----
// 0, or -1 when the ring is full (the byte is dropped).
int PushInputChar(int byte);
// Takes (take 1) or only looks at (take 0) the next complete character. 0 when there is none (a lead byte
// whose trail byte has not arrived counts as none), 1 for a single byte in out[0], 2 for a double-byte
// character in out[0] and out[1].
int PopInputChar(char out[2], int take);
// The control code a virtual key stands for in the control-key table, or 0 when it has none.
int ControlCodeForKey(int virtualKey);
// 1 for a byte of the control-key table's codes, else 0.
int IsControlCharCode(int byte);
// Characters in the first `bytes` bytes of the text (a double-byte character counts once).
int CountCharsInBytes(const char* text, int bytes);
// 1 when the byte begins a double-byte character in the window's character set.
int IsInputLeadByte(unsigned char byte);

// ---- The input method ----
// Handles the IME messages (0x10D-0x10F, 0x281, 0x282); the result goes back to the system.
LRESULT ImeCandidateList(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Window activation: asks for the IME to be re-opened on the next update when it is enabled and was open.
int RequestImeReopen();
// Enables or disables the IME for the main window. Returns 0.
int SetImeEnabled(int flag);
// The system's switch of the IME for one window, whatever the bookkeeping here says (the main window turns it
// off when it is made and on again when it goes). The system's result.
BOOL EnableImeForWindow(HWND window, BOOL enable);
// Opens or closes the IME of the main window. Returns 0.
int SetImeOpenStatus(int flag);
// The caret shows again and its blink starts over.
int ResetCaretBlink();

// ---- Key-input records ----
// Once per message-pump pass: the IME re-open steps, then the active key input takes the ring's characters.
// 0, or -1 when the active handle is not valid.
int UpdateKeyInput();
// 0, or -1 for a handle that does not name a live key input.
int ReleaseKeyInput(int handle);
int ReleaseAllKeyInputs();
