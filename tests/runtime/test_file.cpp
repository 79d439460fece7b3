// The plain Win32 file back end (with and without its read-ahead thread), listings, temporary files and the
// selection of the low-level file table.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "runtime/archive/archive.h"
#include "runtime/file.h"
#include "runtime/memory.h"
#include "test_file_support.h"

namespace {

using file_test::TempTree;

TEST(Win32File, ReadsWholeElementsAndLeavesTheShortTail) {
    TempTree tree;
    ASSERT_TRUE(tree.Write("ten.bin", std::string("0123456789")));
    for (int threaded : {0, 1}) {
        SCOPED_TRACE(threaded ? "threaded" : "plain");
        FileHandle f = Win32FileOpen(tree.Path("ten.bin").c_str(), threaded, 0);
        ASSERT_NE(f, 0u);
        char out[16];
        memset(out, '#', sizeof(out));
        EXPECT_EQ(Win32FileRead(out, 4, 3, f), 2u);
        EXPECT_EQ(memcmp(out, "01234567#", 9), 0);
        EXPECT_EQ(Win32FileEof(f), 0);
        EXPECT_EQ(Win32FileRead(out, 4, 3, f), 0u);  // the 2-byte tail is not read
        EXPECT_EQ(Win32FileEof(f), -1);
        EXPECT_EQ(Win32FileTell(f), 8);
        EXPECT_EQ(Win32FileRead(out, 1, 4, f), 2u);  // smaller elements still reach it
        EXPECT_EQ(memcmp(out, "89", 2), 0);
        EXPECT_EQ(Win32FileRead(out, 0, 4, f), 0u);
        EXPECT_EQ(Win32FileClose(f), 0);
    }
}

TEST(Win32File, SeeksPastTheEndReportTheEndOnRead) {
    TempTree tree;
    ASSERT_TRUE(tree.Write("ten.bin", std::string("0123456789")));
    for (int threaded : {0, 1}) {
        SCOPED_TRACE(threaded ? "threaded" : "plain");
        FileHandle f = Win32FileOpen(tree.Path("ten.bin").c_str(), threaded, 0);
        ASSERT_NE(f, 0u);
        char out[4];
        ASSERT_EQ(Win32FileSeek(f, 25, 0), 0);  // allowed, as on the disk
        EXPECT_EQ(Win32FileTell(f), 25);
        EXPECT_EQ(Win32FileEof(f), 0);
        EXPECT_EQ(Win32FileRead(out, 1, 4, f), 0u);
        EXPECT_EQ(Win32FileEof(f), -1);
        EXPECT_EQ(Win32FileSeek(f, -3, 2), 0);
        EXPECT_EQ(Win32FileEof(f), 0);
        EXPECT_EQ(Win32FileRead(out, 1, 4, f), 3u);
        EXPECT_EQ(memcmp(out, "789", 3), 0);
        EXPECT_EQ(Win32FileSeek(f, -20, 1), -1);  // before the start: refused, position kept
        EXPECT_EQ(Win32FileTell(f), 10);
        EXPECT_EQ(Win32FileSeek(f, 0, 3), -1);
        EXPECT_EQ(Win32FileClose(f), 0);
    }
}

TEST(Win32File, ThreadedReadsMatchTheFileAcrossSeeks) {
    TempTree tree;
    std::vector<unsigned char> content(600000);
    std::mt19937 rng(3);
    for (auto& b : content) b = (unsigned char)rng();
    ASSERT_TRUE(tree.Write("big.bin", content));
    int allocations = GetTrackedAllocCount();
    FileHandle f = Win32FileOpen(tree.Path("big.bin").c_str(), 1, 0);
    ASSERT_NE(f, 0u);
    Sleep(350);  // let the thread read ahead, so the first reads come out of its buffer
    std::vector<unsigned char> out(70000);
    int position = 0;
    for (int step = 0; step < 60; ++step) {
        if (step % 7 == 3) {
            position = (int)(rng() % content.size());
            ASSERT_EQ(Win32FileSeek(f, position, 0), 0);
        }
        if (step % 11 == 5) Sleep(120);
        size_t want = 1 + rng() % out.size();
        size_t got = Win32FileRead(out.data(), 1, want, f);
        size_t expected = std::min(want, content.size() - (size_t)position);
        ASSERT_EQ(got, expected) << "step " << step;
        ASSERT_EQ(memcmp(out.data(), content.data() + position, got), 0) << "step " << step;
        position += (int)got;
        EXPECT_EQ(Win32FileTell(f), position);
        EXPECT_EQ(Win32FileIdleCheck(f), 1);
        if (got < want) {  // reached the end: start over
            ASSERT_EQ(Win32FileSeek(f, 0, 0), 0);
            position = 0;
        }
    }
    EXPECT_EQ(Win32FileClose(f), 0);
    EXPECT_EQ(GetTrackedAllocCount(), allocations);
}

TEST(Win32File, RefusesMissingFilesAndForeignHandles) {
    TempTree tree;
    ASSERT_TRUE(tree.Write("one.bin", std::string("1")));
    EXPECT_EQ(Win32FileOpen(tree.Path("missing.bin").c_str(), 0, 0), 0u);
    EXPECT_EQ(Win32FileOpen(tree.Path("missing.bin").c_str(), 1, 0), 0u);
    EXPECT_EQ(Win32FileOpen(nullptr, 0, 0), 0u);
    FileHandle f = Win32FileOpen(tree.Path("one.bin").c_str(), 0, 0);
    ASSERT_NE(f, 0u);
    ASSERT_EQ(Win32FileClose(f), 0);
    char out[4];
    int local = 0;
    for (FileHandle bad : {f, (FileHandle)&local, (FileHandle)0}) {
        EXPECT_EQ(Win32FileClose(bad), -1);
        EXPECT_EQ(Win32FileTell(bad), -1);
        EXPECT_EQ(Win32FileSeek(bad, 0, 0), -1);
        EXPECT_EQ(Win32FileRead(out, 1, 1, bad), 0u);
        EXPECT_EQ(Win32FileEof(bad), -1);
    }
}

TEST(Win32File, FindListsAFolder) {
    TempTree tree;
    ASSERT_TRUE(tree.Write("dir\\a.txt", std::string("abc")));
    ASSERT_TRUE(tree.Write("dir\\b.png", std::string(1234, 'b')));
    tree.MakeDir("dir\\sub");
    FindRecord record;
    FindHandle find = Win32FindFirst(tree.Path("dir\\*").c_str(), &record);
    ASSERT_NE(find, -1);
    std::vector<std::string> names;
    do {
        names.push_back(record.name);
        std::string name = record.name;
        if (name == "a.txt") {
            EXPECT_EQ(record.sizeLow, 3u);
        }
        if (name == "b.png") {
            EXPECT_EQ(record.sizeLow, 1234u);
        }
        EXPECT_EQ(record.isDirectory, (name == "sub" || name == "." || name == "..") ? 1 : 0) << name;
        if (name == "a.txt") {
            EXPECT_GE(record.lastWriteTime.year, 2020);
        }
    } while (Win32FindNext(find, &record) == 0);
    EXPECT_EQ(Win32FindClose(find), 0);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.txt", "b.png", "sub"}));
    EXPECT_EQ(Win32FindFirst(tree.Path("dir\\*.none").c_str(), &record), -1);
}

TEST(Win32File, TempFileIsNewEmptyAndAbsolute) {
    char name[kFilePathMax] = {};
    HANDLE file = CreateTempFile(name);
    ASSERT_NE(file, nullptr);
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    EXPECT_EQ(_strnicmp(name, folder, strlen(folder)), 0) << name;
    EXPECT_EQ(_strnicmp(name + strlen(folder), "tmp", 3), 0) << name;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "xyz", 3, &written, nullptr));
    CloseHandle(file);
    WIN32_FILE_ATTRIBUTE_DATA info;
    ASSERT_TRUE(GetFileAttributesExA(name, GetFileExInfoStandard, &info));
    EXPECT_EQ(info.nFileSizeLow, 3u);
    DeleteFileA(name);
    HANDLE second = CreateTempFile(nullptr);  // the name is optional
    ASSERT_NE(second, nullptr);
    CloseHandle(second);
}

int g_opened = 0;
FileHandle CountingOpen(const char*, int, int) { return (FileHandle)++g_opened; }
int CountingTell(FileHandle file) { return (int)file * 100; }

TEST(FileLayer, SelectsTablesAndDispatches) {
    LowLevelFileTable custom = {};
    custom.open = CountingOpen;
    custom.tell = CountingTell;
    SelectFileBackEnd(&custom);
    EXPECT_EQ(FileLayerOpen("x", 0, 0), 1u);
    EXPECT_EQ(FileLayerOpen("y", 0, 0), 2u);
    EXPECT_EQ(FileLayerTell(2), 200);
    char out[4];
    // Empty slots report failure instead of jumping to null.
    EXPECT_EQ(FileLayerRead(out, 1, 4, 1), 0u);
    EXPECT_EQ(FileLayerClose(1), -1);
    EXPECT_EQ(FileLayerSeek(1, 0, 0), -1);

    SetDirectDiskFileAccess(1);
    SelectFileBackEnd(nullptr);
    EXPECT_EQ(GetFileBackEnd()->open, Win32FileOpen);
    EXPECT_EQ(GetFileBackEnd()->findFirst, Win32FindFirst);
    SetDirectDiskFileAccess(0);
    SelectFileBackEnd(nullptr);
    EXPECT_EQ(GetFileBackEnd()->open, VfsOpen);
    EXPECT_EQ(GetFileBackEnd()->read, VfsRead);
    EXPECT_EQ(GetFileBackEnd()->idleCheck, VfsIsReady);

    char directory[kFilePathMax];
    int length = FileLayerGetDir(directory);
    EXPECT_EQ(length, (int)strlen(directory));
    EXPECT_GT(length, 0);
}

}  // namespace
