// The input method kept under the window's control: its own composition and candidate windows are not
// shown; the composition text, cursor and clauses are kept here, result strings go into the character ring,
// and the candidate list is fetched when the IME announces a change.
#include <string.h>
#include <windows.h>
#include <imm.h>

#include "input/char_input_state.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/message_pump.h"
#include "runtime/text.h"
#include "runtime/window.h"

namespace {

constexpr uint64_t kOpenStatusPumpMicroseconds = 2000;

int g_inOpenStatusChange = 0;

CharInputState& State() { return GetCharInputState(); }

void FreeCandidateList() {
    CharInputState& s = State();
    if (s.candidateList != nullptr) {
        TrackedFree(s.candidateList);
        s.candidateList = nullptr;
    }
}

// One of the IME's strings in tracked memory (zero-terminated), with its byte count; null when it is empty
// or cannot be read.
char* ReadImeString(HIMC context, DWORD index, LONG* bytes) {
    *bytes = 0;
    const LONG size = ImmGetCompositionStringA(context, index, nullptr, 0);
    if (size <= 0) return nullptr;
    char* text = static_cast<char*>(TrackedAlloc((size_t)size + 1, __FILE__, __LINE__));
    if (text == nullptr) return nullptr;
    LONG read = ImmGetCompositionStringA(context, index, text, (DWORD)size);
    if (read <= 0) {
        TrackedFree(text);
        return nullptr;
    }
    if (read > size) read = size;
    text[read] = '\0';
    *bytes = read;
    return text;
}

// The composition text, cut to the buffer at a character boundary.
void ReadCompositionText(HIMC context) {
    CharInputState& s = State();
    LONG bytes = 0;
    char* text = ReadImeString(context, GCS_COMPSTR, &bytes);
    int kept = 0;
    while (kept < bytes) {
        const int width = (IsInputLeadByte((unsigned char)text[kept]) && kept + 1 < bytes) ? 2 : 1;
        if (kept + width > kImeTextBytes - 1) break;
        kept += width;
    }
    if (kept > 0) memcpy(s.compositionText, text, (size_t)kept);
    s.compositionText[kept] = '\0';
    if (text != nullptr) TrackedFree(text);
}

void ReadResultText(HIMC context) {
    LONG bytes = 0;
    char* text = ReadImeString(context, GCS_RESULTSTR, &bytes);
    for (LONG i = 0; i < bytes; ++i) PushInputChar((unsigned char)text[i]);
    if (text != nullptr) TrackedFree(text);
}

void ReadClauses(HIMC context) {
    CharInputState& s = State();
    LONG bytes = 0;
    char* clauses = ReadImeString(context, GCS_COMPCLAUSE, &bytes);
    if (bytes > kImeTextBytes) bytes = kImeTextBytes;
    bytes -= bytes % 4;
    if (bytes > 0) memcpy(s.clauseTable, clauses, (size_t)bytes);
    s.clauseCount = (int)(bytes / 4);
    if (clauses != nullptr) TrackedFree(clauses);
}

void OnComposition(HWND window, LPARAM flags) {
    HIMC context = ImmGetContext(window);
    if (context == nullptr) return;
    CharInputState& s = State();
    if (flags & GCS_COMPSTR) ReadCompositionText(context);
    if (flags & GCS_RESULTSTR) {
        ReadResultText(context);
        ReadCompositionText(context);
    }
    if (flags & GCS_CURSORPOS) {
        const LONG position = ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0);
        s.compositionCursor = CountCharsInBytes(s.compositionText, position > 0 ? (int)position : 0);
    }
    if (flags & GCS_COMPCLAUSE) ReadClauses(context);
    ImmReleaseContext(window, context);
}

void FetchCandidateList(HWND window) {
    FreeCandidateList();
    HIMC context = ImmGetContext(window);
    if (context == nullptr) return;
    const DWORD size = ImmGetCandidateListA(context, 0, nullptr, 0);
    if (size == 0) {
        WriteLogPrintf("漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x\n",
                       (unsigned)(UINT_PTR)ImmGetDefaultIMEWnd(window), (unsigned)(UINT_PTR)context);
        ImmReleaseContext(window, context);
        return;
    }
    void* list = TrackedAlloc(size, __FILE__, __LINE__);
    if (list == nullptr) {
        ImmReleaseContext(window, context);
        FatalErrorFormat("漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )",
                         (int)size);
    }
    if (ImmGetCandidateListA(context, 0, static_cast<CANDIDATELIST*>(list), size) == 0) {
        TrackedFree(list);
        WriteLogPrintf("漢字変換候補の取得に失敗しました  BufSize:%d\n", (int)size);
    } else {
        State().candidateList = list;
    }
    ImmReleaseContext(window, context);
}

void OnOpenStatusChanged(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (g_inOpenStatusChange) return;
    g_inOpenStatusChange = 1;
    DefWindowProcA(window, message, wparam, lparam);
    // Let the IME finish switching before its status is read.
    const uint64_t start = GetHighResolutionCount(0);
    while (GetHighResolutionCount(0) - start < kOpenStatusPumpMicroseconds) {
        if (ProcessMessageImpl() == -1) break;
    }
    HIMC context = ImmGetContext(window);
    if (context != nullptr) {
        State().imeOpenStatus = ImmGetOpenStatus(context) ? 1 : 0;
        ImmReleaseContext(window, context);
    }
    g_inOpenStatusChange = 0;
}

}  // namespace

// WINNLSEnableIME is looked up at run time: not every import library carries it.
BOOL EnableImeForWindow(HWND window, BOOL enable) {
    typedef BOOL(WINAPI * EnableImeFunction)(HWND, BOOL);
    static EnableImeFunction function = nullptr;
    static int looked = 0;
    if (!looked) {
        looked = 1;
        HMODULE user32 = GetModuleHandleA("user32.dll");
        if (user32 != nullptr) {
            function = reinterpret_cast<EnableImeFunction>(
                reinterpret_cast<void*>(GetProcAddress(user32, "WINNLSEnableIME")));
        }
    }
    return function != nullptr ? function(window, enable) : FALSE;
}

LRESULT ImeCandidateList(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    CharInputState& s = State();
    s.imeMessageSeen = 1;
    ResetCaretBlink();
    switch (message) {
        case WM_IME_STARTCOMPOSITION:
            s.composing = 1;
            s.compositionCursor = 0;
            return 0;
        case WM_IME_ENDCOMPOSITION:
            s.compositionText[0] = '\0';
            s.composing = 0;
            return 0;
        case WM_IME_COMPOSITION:
            OnComposition(window, lparam);
            return 0;  // the IME's own composition window is not drawn
        case WM_IME_SETCONTEXT:
            return DefWindowProcA(window, message, wparam, 0);  // no IME windows shown
        case WM_IME_NOTIFY:
            switch (wparam) {
                case IMN_CHANGECANDIDATE:
                case IMN_OPENCANDIDATE:
                case IMN_SETCANDIDATEPOS:
                    FetchCandidateList(window);
                    break;
                case IMN_CLOSECANDIDATE:
                    FreeCandidateList();
                    break;
                case IMN_SETOPENSTATUS:
                    OnOpenStatusChanged(window, message, wparam, lparam);
                    break;
                default:
                    break;
            }
            return 0;
        default:
            return 0;
    }
}

int RequestImeReopen() {
    CharInputState& s = State();
    if (s.imeEnabled && s.imeOpenStatus) s.reopenStep = 1;
    return 0;
}

int SetImeEnabled(int flag) {
    CharInputState& s = State();
    flag = flag ? 1 : 0;
    if (flag == s.imeEnabled) return 0;
    EnableImeForWindow(GetMainHwnd(), flag);
    s.imeEnabled = flag;
    if (!flag) {
        FreeCandidateList();
        s.compositionText[0] = '\0';
        s.composing = 0;
    }
    return 0;
}

int SetImeOpenStatus(int flag) {
    HWND window = GetMainHwnd();
    HIMC context = ImmGetContext(window);
    if (context == nullptr) return 0;
    ImmSetOpenStatus(context, flag ? TRUE : FALSE);
    ImmReleaseContext(window, context);
    return 0;
}
