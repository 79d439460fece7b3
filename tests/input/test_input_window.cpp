// Input against the real main window under Wine: keys injected with SendInput read back through the public
// queries, once through DirectInput and once through the system fallback; the lazy start after EndInput;
// the window procedure feeding the character ring; and the queries after the library has posted its close.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <vector>

#include "input/char_input_state.h"
#include "input/device_state.h"
#include "input/input.h"
#include "runtime/api_lock.h"
#include "runtime/message_pump.h"
#include "runtime/startup.h"
#include "runtime/window.h"

namespace {

// Polls the condition for up to twenty seconds: injected input reaches the devices asynchronously, and late on a
// busy machine.
bool Eventually(const std::function<bool()>& condition) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 20000) {
        if (condition()) return true;
        Sleep(5);
    }
    return condition();
}

bool IsExtendedKey(WORD virtualKey) {
    switch (virtualKey) {
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
        case VK_DELETE:
        case VK_INSERT:
        case VK_HOME:
        case VK_END:
        case VK_PRIOR:
        case VK_NEXT:
            return true;
        default:
            return false;
    }
}

void SendKey(WORD virtualKey, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = (WORD)MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
    if (IsExtendedKey(virtualKey)) input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    if (!down) input.ki.dwFlags |= KEYEVENTF_KEYUP;
    ASSERT_EQ(SendInput(1, &input, sizeof(input)), 1u);
}

void PumpOnce() {
    ApiLockScope lock;
    ProcessMessageImpl();
}

// Holds keys for the scope of a check and lets them go again, so that no test leaves a key down.
class HeldKeys {
   public:
    explicit HeldKeys(std::vector<WORD> keys) : keys_(std::move(keys)) {
        for (WORD key : keys_) SendKey(key, true);
    }
    ~HeldKeys() {
        for (WORD key : keys_) SendKey(key, false);
        // Let the window's thread see the releases before the next check.
        Eventually([] {
            PumpOnce();
            return GetJoypadState(kJoypadWithKeyboard) == 0;
        });
    }

   private:
    std::vector<WORD> keys_;
};

void DrainRing() {
    ApiLockScope lock;
    char out[2];
    while (PopInputChar(out, 1) != 0) {
    }
}

// Opens the library's main window in window mode (COM first, for DirectInput) and waits until Windows has
// made it the active window; closes it in close().
class MainWindow {
   public:
    static void open() {
        StartCom();
        ApiLockScope lock;
        ChangeWindowModeImpl(1);
        ASSERT_EQ(CreateMainWindow(), 0);
        ASSERT_NE(GetMainHwnd(), nullptr);
        InitCharInputBuffer();
        const DWORD start = GetTickCount();
        while (!IsAppActive() && GetTickCount() - start < 20000) {
            SetForegroundWindow(GetMainHwnd());
            ProcessMessageImpl();
            Sleep(5);
        }
        ASSERT_TRUE(IsAppActive()) << "the main window must be active for keyboard input";
    }
    static void close() {
        {
            ApiLockScope lock;
            EndInput();
            DestroyMainWindow();
        }
        EndCom();
    }
};

class InputWindowTest : public testing::Test {
   protected:
    static void SetUpTestSuite() { MainWindow::open(); }
    static void TearDownTestSuite() {
        SetInputNoDirectInput(0);
        MainWindow::close();
    }
    void SetUp() override {
        ASSERT_NE(GetMainHwnd(), nullptr);
        ApiLockScope lock;
        EndInput();
        SetInputNoDirectInput(0);
    }
};

struct Mode {
    const char* name;
    int noDirectInput;
};
const Mode kModes[] = {{"DirectInput", 0}, {"no DirectInput", 1}};

void StartIn(const Mode& mode) {
    ApiLockScope lock;
    EndInput();
    SetInputNoDirectInput(mode.noDirectInput);
    ASSERT_EQ(StartInput(), 0);
    ASSERT_TRUE(IsInputStarted());
    ASSERT_EQ(IsInputUsingDirectInput(), mode.noDirectInput ? 0 : 1);
}

TEST_F(InputWindowTest, InjectedKeysReadBackThroughKeyAndPadQueries) {
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.name);
        StartIn(mode);
        {
            HeldKeys held({'Z', VK_LEFT});
            EXPECT_TRUE(Eventually([] { return GetJoypadState(kJoypadWithKeyboard) == 0x12; }))
                << "got 0x" << std::hex << GetJoypadState(kJoypadWithKeyboard);
            EXPECT_EQ(IsKeyDown(DIK_Z), 1);
            EXPECT_EQ(IsKeyDown(DIK_LEFT), 1);
            EXPECT_EQ(IsKeyDown(DIK_X), 0);
            EXPECT_EQ(IsKeyDown(DIK_ESCAPE), 0);
        }
        {
            // F5 lies outside the part of the table that GetKeyboardState refreshes on the DirectInput
            // path: there only the keyboard device can report it.
            HeldKeys held({VK_F5, 'C'});
            EXPECT_TRUE(Eventually([] { return IsKeyDown(DIK_F5) == 1; }));
            EXPECT_TRUE(Eventually([] { return GetJoypadState(kJoypadWithKeyboard) == 0x40; }));
        }
        EXPECT_TRUE(Eventually([] { return IsKeyDown(DIK_F5) == 0 && IsKeyDown(DIK_Z) == 0; }));
        EXPECT_EQ(IsKeyDown(-1), 0);
        EXPECT_EQ(IsKeyDown(256), 0);
    }
}

TEST_F(InputWindowTest, WithoutPadsPadQueriesGiveKeyboardBitsOnly) {
    if (GetJoypadCount() != 0) GTEST_SKIP() << "a joypad is attached to this machine";
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.name);
        StartIn(mode);
        EXPECT_EQ(GetJoypadCount(), 0);
        HeldKeys held({'Z', VK_DOWN});
        ASSERT_TRUE(Eventually([] { return GetJoypadState(kJoypadWithKeyboard) == 0x11; }));
        struct Case {
            int pad;
            int expected;
        };
        const Case cases[] = {
            {0, 0}, {1, 0}, {3, 0}, {8, 0}, {0x1003, 0x11}, {0x1009, 0x11}, {0x1001, 0x11},
        };
        for (const Case& c : cases) {
            EXPECT_EQ(GetJoypadState(c.pad), c.expected) << "pad 0x" << std::hex << c.pad;
        }
    }
}

TEST_F(InputWindowTest, QueryAfterEndInputStartsInputAndIsStillAnswered) {
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.name);
        SetInputNoDirectInput(mode.noDirectInput);
        HeldKeys held({'Z'});
        // Wait until the window's thread has seen the press, with input running, then stop input.
        StartIn(mode);
        ASSERT_TRUE(Eventually([] { return IsKeyDown(DIK_Z) == 1; }));

        struct Query {
            const char* name;
            std::function<int()> call;
            int expected;
        };
        const Query queries[] = {
            {"IsKeyDown", [] { return IsKeyDown(DIK_Z); }, 1},
            {"GetJoypadState", [] { return GetJoypadState(kJoypadWithKeyboard); }, 0x10},
            {"GetJoypadCount", [] { return GetJoypadCount(); }, 0},
        };
        for (const Query& q : queries) {
            SCOPED_TRACE(q.name);
            {
                ApiLockScope lock;
                EndInput();
                ASSERT_FALSE(IsInputStarted());
            }
            // The first query after the end starts input again and answers the question it was asked.
            EXPECT_EQ(q.call(), q.expected);
            EXPECT_TRUE(IsInputStarted());
            EXPECT_EQ(IsInputUsingDirectInput(), mode.noDirectInput ? 0 : 1);
        }
    }
}

TEST_F(InputWindowTest, WindowMessagesFeedTheCharacterRing) {
    DrainRing();
    HWND window = GetMainHwnd();
    struct Case {
        UINT message;
        WPARAM wparam;
        std::vector<int> queued;
    };
    const Case cases[] = {
        {WM_KEYDOWN, VK_LEFT, {29}},  {WM_KEYDOWN, VK_RIGHT, {28}}, {WM_KEYDOWN, VK_UP, {30}},
        {WM_KEYDOWN, VK_DOWN, {31}},  {WM_KEYDOWN, VK_DELETE, {16}}, {WM_KEYDOWN, 'A', {}},
        {WM_KEYDOWN, VK_RETURN, {}},  {WM_CHAR, 'q', {'q'}},         {WM_CHAR, 0x82, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << c.message << " key 0x" << c.wparam);
        ApiLockScope lock;
        SendMessageA(window, c.message, c.wparam, 0);
        std::vector<int> got;
        char out[2];
        while (PopInputChar(out, 1) == 1) got.push_back((unsigned char)out[0]);
        EXPECT_EQ(got, c.queued);
    }
    // The lead byte queued above is completed by its trail byte.
    {
        ApiLockScope lock;
        SendMessageA(window, WM_CHAR, 0xA0, 0);
        char out[2];
        ASSERT_EQ(PopInputChar(out, 1), 2);
        EXPECT_EQ((unsigned char)out[0], 0x82);
        EXPECT_EQ((unsigned char)out[1], 0xA0);
    }

    // A real key press travels through the message queue into the ring.
    SendKey(VK_LEFT, true);
    SendKey(VK_LEFT, false);
    int code = 0;
    EXPECT_TRUE(Eventually([&] {
        PumpOnce();
        ApiLockScope lock;
        char out[2];
        if (PopInputChar(out, 1) != 1) return false;
        code = (unsigned char)out[0];
        return true;
    }));
    EXPECT_EQ(code, 29);
    DrainRing();
}

TEST_F(InputWindowTest, ImeBookkeepingFollowsItsMessages) {
    HWND window = GetMainHwnd();
    ApiLockScope lock;
    CharInputState& s = GetCharInputState();
    EXPECT_EQ(ImeCandidateList(window, WM_IME_STARTCOMPOSITION, 0, 0), 0);
    EXPECT_EQ(s.composing, 1);
    EXPECT_EQ(s.imeMessageSeen, 1);
    strcpy(s.compositionText, "abc");
    EXPECT_EQ(ImeCandidateList(window, WM_IME_ENDCOMPOSITION, 0, 0), 0);
    EXPECT_EQ(s.composing, 0);
    EXPECT_STREQ(s.compositionText, "");

    // Re-opening on activation is asked for only while the IME is enabled and was open, and runs to its end
    // within one update.
    s.imeOpenStatus = 1;
    RequestImeReopen();
    EXPECT_EQ(s.reopenStep, 0) << "IME disabled";
    SetImeEnabled(1);
    RequestImeReopen();
    EXPECT_EQ(s.reopenStep, 1);
    UpdateKeyInput();
    EXPECT_EQ(s.reopenStep, 0);

    // Disabling ends any composition under way.
    ImeCandidateList(window, WM_IME_STARTCOMPOSITION, 0, 0);
    strcpy(s.compositionText, "abc");
    SetImeEnabled(0);
    EXPECT_EQ(s.imeEnabled, 0);
    EXPECT_EQ(s.composing, 0);
    EXPECT_STREQ(s.compositionText, "");
    s.imeOpenStatus = 0;
}

// The library's own close ends input for good: the game's late queries after shutdown must not start it.
TEST(InputAfterClose, QueriesDoNotRestartInputOnceTheCloseIsPosted) {
    MainWindow::open();
    ASSERT_EQ(IsKeyDown(DIK_Z), 0);
    ASSERT_TRUE(IsInputStarted());
    MainWindow::close();
    ASSERT_TRUE(IsCloseRequested());
    EXPECT_EQ(IsKeyDown(DIK_Z), 0);
    EXPECT_EQ(GetJoypadCount(), 0);
    EXPECT_EQ(GetJoypadState(kJoypadWithKeyboard), 0);
    EXPECT_FALSE(IsInputStarted());
}

}  // namespace
