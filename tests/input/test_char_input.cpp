// The character ring and the key-input line editor, driven the way the window procedure and the message
// pump drive them: bytes pushed into the ring, UpdateKeyInput feeding the active record.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "input/char_input_state.h"
#include "runtime/handle.h"
#include "runtime/memory.h"

namespace {

class CharInputTest : public testing::Test {
   protected:
    void SetUp() override {
        InitCharInputBuffer();
        liveBlocks_ = GetTrackedAllocCount();
    }
    void TearDown() override {
        ReleaseAllKeyInputs();
        EXPECT_EQ(GetTrackedAllocCount(), liveBlocks_) << "key inputs leave no memory behind";
        InitCharInputBuffer();
    }
    static void PushAll(const std::string& bytes) {
        for (unsigned char c : bytes) ASSERT_EQ(PushInputChar(c), 0);
    }
    int liveBlocks_ = 0;
};

// Double-byte characters used below; "me" has a trail byte (0x81) that is also a lead byte.
const std::string kMe = "\x83\x81";
const std::string kA = "\x82\xA0";

TEST_F(CharInputTest, RingHolds1024BytesThenRefusesUntilOneIsTaken) {
    std::vector<unsigned char> pushed;
    for (int i = 0; i < 1024; ++i) {
        const unsigned char byte = (unsigned char)(0x20 + i % 0x5F);
        ASSERT_EQ(PushInputChar(byte), 0) << "push " << i;
        pushed.push_back(byte);
    }
    EXPECT_EQ(PushInputChar('x'), -1);
    EXPECT_EQ(PushInputChar('y'), -1);

    char out[2];
    ASSERT_EQ(PopInputChar(out, 1), 1);
    EXPECT_EQ((unsigned char)out[0], pushed[0]);
    EXPECT_EQ(PushInputChar('z'), 0);
    EXPECT_EQ(PushInputChar('w'), -1);
    pushed.push_back('z');

    for (size_t i = 1; i < pushed.size(); ++i) {
        ASSERT_EQ(PopInputChar(out, 1), 1) << "pop " << i;
        ASSERT_EQ((unsigned char)out[0], pushed[i]) << "pop " << i;
    }
    EXPECT_EQ(PopInputChar(out, 1), 0);
}

TEST_F(CharInputTest, RingStaysFirstInFirstOutAcrossTheWrap) {
    char out[2];
    // Walk the indices to the last slot, so that the next bytes wrap to slot 0.
    for (int i = 0; i < 1024; ++i) {
        ASSERT_EQ(PushInputChar('.'), 0);
        ASSERT_EQ(PopInputChar(out, 1), 1);
    }
    ASSERT_EQ(GetCharInputState().writeIndex, 1024);
    // A double-byte character whose lead byte sits in the last slot and whose trail byte sits in slot 0.
    PushAll(kA + "bc");
    ASSERT_LT(GetCharInputState().writeIndex, 10);

    ASSERT_EQ(PopInputChar(out, 1), 2);
    EXPECT_EQ(std::string(out, 2), kA);
    ASSERT_EQ(PopInputChar(out, 1), 1);
    EXPECT_EQ(out[0], 'b');
    ASSERT_EQ(PopInputChar(out, 1), 1);
    EXPECT_EQ(out[0], 'c');
    EXPECT_EQ(PopInputChar(out, 1), 0);
}

TEST_F(CharInputTest, LeadByteWaitsForItsTrailByteAndPeekingConsumesNothing) {
    char out[2] = {0, 0};
    PushAll("\x82");
    EXPECT_EQ(PopInputChar(out, 1), 0);
    EXPECT_EQ(PopInputChar(out, 0), 0);
    EXPECT_NE(GetCharInputState().readIndex, GetCharInputState().writeIndex) << "the lead byte stays queued";

    PushAll("\xA0");
    for (int peek = 0; peek < 2; ++peek) {
        out[0] = out[1] = 0;
        ASSERT_EQ(PopInputChar(out, 0), 2) << "peek " << peek;
        EXPECT_EQ(std::string(out, 2), kA);
    }
    PushAll("q");
    ASSERT_EQ(PopInputChar(out, 1), 2);
    EXPECT_EQ(std::string(out, 2), kA);
    ASSERT_EQ(PopInputChar(out, 0), 1);
    ASSERT_EQ(PopInputChar(out, 0), 1);
    ASSERT_EQ(PopInputChar(out, 1), 1);
    EXPECT_EQ(out[0], 'q');
    EXPECT_EQ(PopInputChar(out, 0), 0);
}

TEST_F(CharInputTest, ControlKeysAndCodes) {
    struct Case {
        int virtualKey;
        int code;
    };
    const Case cases[] = {
        {VK_DELETE, 16}, {VK_LEFT, 29}, {VK_RIGHT, 28}, {VK_UP, 30}, {VK_DOWN, 31},
        {VK_BACK, 0},    {'A', 0},      {VK_RETURN, 0}, {0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ControlCodeForKey(c.virtualKey), c.code) << "virtual key " << c.virtualKey;
        if (c.code != 0) {
            EXPECT_EQ(IsControlCharCode(c.code), 1);
        }
    }
    EXPECT_EQ(IsControlCharCode(8), 0);
    EXPECT_EQ(IsControlCharCode('a'), 0);
}

TEST(CountCharsInBytes, CountsDoubleByteCharactersOnce) {
    struct Case {
        std::string text;
        int bytes;
        int expected;
    };
    const Case cases[] = {
        {"abc", 3, 3},     {"abc", 2, 2},       {kA + kA, 4, 2}, {kA + kA, 2, 1},
        {"a" + kA, 3, 2},  {kMe + "a", 3, 2},   {"ab", 10, 2},   {"", 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CountCharsInBytes(c.text.c_str(), c.bytes), c.expected) << "bytes " << c.bytes;
    }
}

struct EditCase {
    const char* name;
    int maxLength;
    int escapeAllowed;
    int singleByteOnly;
    int digitsOnly;
    std::string typed;
    std::string text;
    int cursor;
    int ended;
    int cancelled;
};

TEST_F(CharInputTest, ActiveKeyInputEditsItsLineFromTheRing) {
    const std::string kBack = "\x08", kDel = "\x10", kLeft = "\x1D", kRight = "\x1C", kEnter = "\x0D", kEsc = "\x1B";
    const EditCase cases[] = {
        {"typing", 16, 0, 0, 0, "abc", "abc", 3, 0, 0},
        {"left then insert", 16, 0, 0, 0, "ac" + kLeft + "b", "abc", 2, 0, 0},
        {"backspace after a trail byte in the lead range", 16, 0, 0, 0, kMe + "a" + kBack, kMe, 2, 0, 0},
        {"backspace twice over mixed text", 16, 0, 0, 0, "x" + kMe + "a" + kBack + kBack, "x", 1, 0, 0},
        {"backspace at the start", 16, 0, 0, 0, "a" + kLeft + kBack, "a", 0, 0, 0},
        {"left over double-byte then delete", 16, 0, 0, 0, kMe + "a" + kLeft + kLeft + kDel, "a", 0, 0, 0},
        {"right over double-byte", 16, 0, 0, 0, kMe + "a" + kLeft + kLeft + kRight + "x", kMe + "xa", 3, 0, 0},
        {"delete at the end", 16, 0, 0, 0, "ab" + kDel, "ab", 2, 0, 0},
        {"cursor keys stop at both ends", 16, 0, 0, 0, "a" + kRight + kLeft + kLeft + "b", "ba", 1, 0, 0},
        {"ignored codes", 16, 0, 0, 0, "a\x09\x1E\x1F" "b", "ab", 2, 0, 0},
        {"enter ends the input", 16, 0, 0, 0, "ab" + kEnter, "ab", 2, 1, 0},
        {"escape cancels when allowed", 16, 1, 0, 0, "ab" + kEsc, "ab", 2, 1, 1},
        {"escape ignored otherwise", 16, 0, 0, 0, "a" + kEsc + "b", "ab", 2, 0, 0},
        {"digits only", 16, 0, 0, 1, "-1a2-" + kA + "3", "-123", 4, 0, 0},
        {"minus only at the start", 16, 0, 0, 1, "1" + kLeft + "-", "-1", 1, 0, 0},
        {"single-byte only", 16, 0, 1, 0, "a" + kA + "b", "ab", 2, 0, 0},
        {"full line gives up its last character", 3, 0, 0, 0, "abcd", "abd", 3, 0, 0},
        {"full line with the cursor inside", 3, 0, 0, 0, "abc" + kLeft + kLeft + "x", "axb", 2, 0, 0},
        {"double-byte into a full line", 4, 0, 0, 0, "a" + kMe + kA, "a" + kA, 3, 0, 0},
        {"character wider than the line", 1, 0, 0, 0, kA + "z", "z", 1, 0, 0},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int handle = MakeKeyInput(c.maxLength, c.escapeAllowed, c.singleByteOnly, c.digitsOnly);
        ASSERT_GE(handle, 0);
        ASSERT_EQ(SetActiveKeyInput(handle), 0);
        PushAll(c.typed);
        EXPECT_EQ(UpdateKeyInput(), 0);
        const KeyInputRecord* record = KeyInputRecordOf(handle);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(std::string(record->text, (size_t)record->length), c.text);
        EXPECT_EQ(record->text[record->length], '\0');
        EXPECT_EQ(record->cursor, c.cursor);
        EXPECT_EQ(record->ended, c.ended);
        EXPECT_EQ(record->cancelled, c.cancelled);
        EXPECT_EQ(ReleaseKeyInput(handle), 0);
        char out[2];
        while (PopInputChar(out, 1) != 0) {
        }
    }
}

TEST_F(CharInputTest, EndedInputLeavesTheRestInTheRing) {
    const int handle = MakeKeyInput(8, 0, 0, 0);
    ASSERT_EQ(SetActiveKeyInput(handle), 0);
    PushAll("a\rbc");
    EXPECT_EQ(UpdateKeyInput(), 0);
    EXPECT_EQ(std::string(KeyInputRecordOf(handle)->text), "a");
    EXPECT_EQ(UpdateKeyInput(), 0);  // an ended input takes nothing more
    char out[2];
    ASSERT_EQ(PopInputChar(out, 1), 1);
    EXPECT_EQ(out[0], 'b');
}

TEST_F(CharInputTest, HandlesAreCheckedAndSlotsRunOut) {
    std::vector<int> handles;
    for (int i = 0; i < kKeyInputRecords; ++i) {
        const int handle = MakeKeyInput(4, 0, 0, 0);
        ASSERT_GE(handle, 0);
        EXPECT_EQ(HandleTypeOf(handle), kHandleTypeKeyInput);
        handles.push_back(handle);
    }
    EXPECT_EQ(MakeKeyInput(4, 0, 0, 0), -1) << "all records in use";
    EXPECT_EQ(MakeKeyInput(0, 0, 0, 0), -1);

    const int stale = handles[3];
    ASSERT_EQ(ReleaseKeyInput(stale), 0);
    const int reused = MakeKeyInput(4, 0, 0, 0);
    ASSERT_GE(reused, 0);
    EXPECT_EQ(HandleSlotOf(reused), HandleSlotOf(stale));
    EXPECT_NE(reused, stale);

    const int invalid[] = {
        stale,                                                                        // released, slot reused
        MakeHandle(kHandleTypeGraph, HandleCheckIdOf(reused), HandleSlotOf(reused)),  // other type
        MakeHandle(kHandleTypeKeyInput, 0, kKeyInputRecords),                         // slot beyond the table
    };
    for (int handle : invalid) {
        SCOPED_TRACE(testing::Message() << "handle 0x" << std::hex << handle);
        EXPECT_EQ(KeyInputRecordOf(handle), nullptr);
        EXPECT_EQ(ReleaseKeyInput(handle), -1);
        EXPECT_EQ(SetActiveKeyInput(handle), -1);
    }
    EXPECT_EQ(ReleaseKeyInput(stale), -1) << "a second release of the same handle";
    EXPECT_EQ(ReleaseKeyInput(-1), -1);

    // An active handle that went stale behind the editor's back is reported, not followed.
    ASSERT_EQ(SetActiveKeyInput(reused), 0);
    ASSERT_EQ(ReleaseKeyInput(reused), 0);
    EXPECT_EQ(GetCharInputState().activeKeyInput, -1) << "releasing the active input clears it";
    EXPECT_EQ(UpdateKeyInput(), 0);
    GetCharInputState().activeKeyInput = reused;
    EXPECT_EQ(UpdateKeyInput(), -1);
    GetCharInputState().activeKeyInput = -1;
}

}  // namespace
