// The log as a caller sees it: what reaches the file for a text (line ends, time stamps,
// indentation, continued lines), which settings silence it, and the fatal-error path run in a
// child process.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <algorithm>
#include <string>
#include <vector>

#include "runtime/log.h"
#include "runtime/memory.h"
#include "tests/runtime/test_log_fixture.h"

namespace {

struct ConversionCase {
    const char* name;
    std::string text;
    std::string expected;
};

std::string Repeat(const std::string& s, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += s;
    return out;
}

[[noreturn]] void WriteThenFail() {
    WriteLog("before\n");
    FatalErrorFormat("致命的なエラー %d", 7);
}

}  // namespace

TEST_F(LogFileTest, LineEndsAreConvertedOnTheWayToTheFile) {
    const ConversionCase cases[] = {
        {"plain line", "abc\n", "abc\r\n"},
        {"two lines", "a\nb\n", "a\r\nb\r\n"},
        {"lone line feed", "\n", "\r\n"},
        {"existing CRLF stops conversion", "a\r\nb\nc\n", "a\r\nb\nc\n"},
        {"conversion before the first CRLF", "x\ny\r\nz\n", "x\r\ny\r\nz\n"},
        // 255 characters still convert on the stack; 256 and more borrow a tracked buffer that
        // must hold 2L + 1 bytes when every character is a line feed.
        {"255 line feeds", Repeat("\n", 255), Repeat("\r\n", 255)},
        {"256 line feeds", Repeat("\n", 256), Repeat("\r\n", 256)},
        {"long mixed text", Repeat("ab\n", 400), Repeat("ab\r\n", 400)},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.name);
        ResetLog();
        int liveBefore = GetTrackedAllocCount();
        EXPECT_EQ(WriteLog(c.text.c_str()), -1);
        EXPECT_EQ(GetTrackedAllocCount(), liveBefore);
        EXPECT_EQ(ReadLog(), c.expected);
    }
}

TEST_F(LogFileTest, TextWithoutLineEndIsContinuedByTheNextText) {
    LogIndentIn();
    WriteLog("first\nsecond");
    WriteLog(" more\n");
    WriteLog("third\n");
    EXPECT_EQ(ReadLog(), "\tfirst\r\nsecond more\r\n\tthird\r\n");
}

TEST_F(LogFileTest, IndentAddsOneTabPerLevelAndNeverGoesBelowZero) {
    LogIndentOut();
    EXPECT_EQ(GetLogIndent(), 0);
    WriteLog("a\n");
    LogIndentIn();
    LogIndentIn();
    WriteLog("b\n");
    LogIndentOut();
    WriteLog("c\n");
    LogIndentOut();
    LogIndentOut();
    LogIndentOut();
    EXPECT_EQ(GetLogIndent(), 0);
    WriteLog("d\n");
    EXPECT_EQ(ReadLog(), "a\r\n\t\tb\r\n\tc\r\nd\r\n");
}

TEST_F(LogFileTest, LineStartsCarryMillisecondsSinceOpening) {
    SetLogNoTimeStamp(0);
    ResetLog();
    LogIndentIn();
    WriteLog("one\n");
    WriteLog("two");
    WriteLog("three\n");
    std::regex expected("^(\\d+):\tone\r\n(\\d+):\ttwothree\r\n$");
    std::smatch m;
    std::string log = ReadLog();
    ASSERT_TRUE(std::regex_match(log, m, expected)) << log;
    EXPECT_LE(std::stoi(m[1]), std::stoi(m[2]));
    EXPECT_LT(std::stoi(m[2]), 60000);
}

TEST_F(LogFileTest, FormatIsBoundedAndEndsTheLine) {
    EXPECT_EQ(WriteLogFormat("%d-%s-%x-%.3f", 42, "txt", 255, 1.5), -1);
    std::string longArgument(3000, 'q');
    WriteLogFormat("%s", longArgument.c_str());
    std::string expected = "42-txt-ff-1.500\r\n" + std::string(kLogFormatBufferSize - 1, 'q') + "\r\n";
    EXPECT_EQ(ReadLog(), expected);
}

// The printf form adds no line end: a format that carries its own gets exactly one, and one
// without continues the line like a plain text.
TEST_F(LogFileTest, PrintfFormWritesTheFormattedTextAsItIs) {
    EXPECT_EQ(WriteLogPrintf("pads: %d\n", 2), -1);
    WriteLogPrintf("speed %.2f ", 1.5);
    WriteLogPrintf("%s\n", "GHz");
    std::string longArgument(3000, 'q');
    WriteLogPrintf("%s", longArgument.c_str());
    std::string expected = "pads: 2\r\nspeed 1.50 GHz\r\n" + std::string(kLogFormatBufferSize - 1, 'q');
    EXPECT_EQ(ReadLog(), expected);
}

TEST_F(LogFileTest, SettingsThatSilenceTheLog) {
    WriteLog("kept\n");
    SetLogFileEnabledImpl(0);
    EXPECT_EQ(IsLogFileEnabled(), 0);
    WriteLog("dropped while disabled\n");
    SetLogFileEnabledImpl(1);
    SetLogDirectory("");
    WriteLog("dropped without directory\n");
    SetLogDirectory(directory_.c_str());
    SetLogToDebuggerOnly(1);
    WriteLog("debugger only\n");
    SetLogToDebuggerOnly(0);
    WriteLog("kept again\n");
    EXPECT_EQ(ReadLog(), "kept\r\nkept again\r\n");

    // While disabled, opening the log leaves the old file alone.
    SetLogFileEnabledImpl(0);
    OpenLogFile();
    SetLogFileEnabledImpl(1);
    EXPECT_EQ(ReadLog(), "kept\r\nkept again\r\n");
}

TEST_F(LogFileTest, OpeningTruncatesAndResetsIndentAndLineState) {
    LogIndentIn();
    WriteLog("unfinished");
    ResetLog();
    EXPECT_EQ(GetLogIndent(), 0);
    EXPECT_EQ(ReadLog(), "");
    WriteLog("fresh\n");
    EXPECT_EQ(ReadLog(), "fresh\r\n");
}

TEST_F(LogFileTest, WritingLeavesTheCurrentDirectoryAsItWas) {
    char original[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, original), 0u);
    // A current directory too long for the file layer's 256-byte query must not be swapped for
    // the log directory for good; the text still reaches the log.
    std::string deep = directory_;
    std::vector<std::string> made;
    while (deep.size() < 240) {
        deep += "\\" + std::string(std::min<size_t>(40, 250 - deep.size()), 'd');
        ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr)) << deep;
        made.push_back(deep);
    }
    std::string last = deep + "\\" + std::string(257 - deep.size(), 'e');
    ASSERT_TRUE(CreateDirectoryA(last.c_str(), nullptr)) << last;
    made.push_back(last);

    const std::string currents[] = {original, last};
    for (const std::string& current : currents) {
        SCOPED_TRACE(current.size());
        ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));
        ResetLog();
        WriteLog("x\n");
        char after[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, after);
        EXPECT_STREQ(after, current.c_str());
        EXPECT_EQ(ReadLog(), "x\r\n");
    }
    SetCurrentDirectoryA(original);
    for (auto it = made.rbegin(); it != made.rend(); ++it) RemoveDirectoryA(it->c_str());
}

TEST_F(LogFileTest, DateStampedNameUsesPlainNumbers) {
    DeleteFileA(LogPath().c_str());
    SetLogDateStampedName(1);
    OpenLogFile();
    std::string name = GetLogFileName();
    EXPECT_TRUE(std::regex_match(name, std::regex("^Log[1-9]\\d{3}_[1-9]\\d?_[1-9]\\d?_([1-9]\\d?|0)_([1-9]\\d?|0)_([1-9]\\d?|0)\\.txt$")))
        << name;
    WriteLog("stamped\n");
    EXPECT_EQ(ReadLog(), "stamped\r\n");
}

// The child re-runs this test up to the statement; its log goes to the parent's folder, which
// the parent reads afterwards.
TEST_F(LogFileTest, FatalErrorLogsAndEndsTheProcessWithMinusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ShareDirectoryWithChildren(true);
    EXPECT_EXIT(WriteThenFail(), ::testing::ExitedWithCode(-1), "");
    ShareDirectoryWithChildren(false);
    std::string log = ReadLog();
    EXPECT_EQ(log.rfind("before\r\n致命的なエラー 7\r\n", 0), 0u) << log;
    // The shutdown sequence ran after the text: it ends with the allocation dump.
    EXPECT_NE(log.find("Alloc memory dump"), std::string::npos) << log;
}
