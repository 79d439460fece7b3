// Streams: the memory stream's element counting, clamped seeks and end flag, and the file stream table reading
// through the selected file layer.
#include <gtest/gtest.h>
#include <string.h>

#include "runtime/archive/archive.h"
#include "runtime/file.h"
#include "runtime/memory.h"
#include "runtime/stream.h"
#include "test_file_support.h"

namespace {

TEST(MemoryStream, ReadsWholeElementsThenTheShortTail) {
    const char data[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    const StreamFunctionTable* t = GetMemoryStreamFunctions();
    StreamHandle s = OpenMemoryStream(data, 10);
    ASSERT_NE(s, 0u);
    char out[16];
    memset(out, '#', sizeof(out));
    EXPECT_EQ(t->read(out, 4, 3, s), 2u);  // 12 bytes asked, two whole elements there
    EXPECT_EQ(memcmp(out, "01234567", 8), 0);
    EXPECT_EQ(out[8], '#');
    EXPECT_EQ(t->tell(s), 8);
    EXPECT_EQ(t->eof(s), 0);
    memset(out, '#', sizeof(out));
    EXPECT_EQ(t->read(out, 4, 3, s), 1u);  // the 2-byte tail counts as one element
    EXPECT_EQ(memcmp(out, "89#", 3), 0);
    EXPECT_EQ(t->eof(s), 0);
    EXPECT_EQ(t->read(out, 4, 3, s), 0u);
    EXPECT_NE(t->eof(s), 0);
    EXPECT_EQ(t->idleCheck(s), 1);
    EXPECT_EQ(t->close(s), 0);
}

TEST(MemoryStream, SeeksAreClampedAndClearTheEndFlag) {
    const char data[10] = {};
    const StreamFunctionTable* t = GetMemoryStreamFunctions();
    StreamHandle s = OpenMemoryStream(data, 10);
    ASSERT_NE(s, 0u);
    // Each seek starts from the end (position 10) with the end flag set by a read there.
    struct Case {
        int offset, origin, expected;
    } cases[] = {
        {-5, 0, 0}, {4, 0, 4}, {25, 0, 10}, {-3, 1, 7}, {3, 1, 10}, {-100, 1, 0}, {-3, 2, 7}, {5, 2, 10},
    };
    char out[4];
    for (const Case& c : cases) {
        ASSERT_EQ(t->seek(s, 0, 2), 0);
        EXPECT_EQ(t->read(out, 1, 4, s), 0u);
        ASSERT_NE(t->eof(s), 0);
        EXPECT_EQ(t->seek(s, c.offset, c.origin), 0);
        EXPECT_EQ(t->tell(s), c.expected) << c.offset << "/" << c.origin;
        EXPECT_EQ(t->eof(s), 0);
    }
    EXPECT_EQ(t->seek(s, 0, 7), -1);  // unknown origin
    EXPECT_EQ(t->close(s), 0);
}

TEST(MemoryStream, RecordIsTrackedAndDataIsNotOwned) {
    int before = GetTrackedAllocCount();
    char* data = new char[8]();
    StreamHandle s = OpenMemoryStream(data, 8);
    ASSERT_NE(s, 0u);
    EXPECT_EQ(GetTrackedAllocCount(), before + 1);
    CloseMemoryStream(s);
    EXPECT_EQ(GetTrackedAllocCount(), before);
    data[7] = 1;  // still ours
    EXPECT_EQ(OpenMemoryStream(nullptr, 4), 0u);
    EXPECT_EQ(OpenMemoryStream(data, -1), 0u);
    delete[] data;
    char out[4];
    StreamHandle empty = OpenMemoryStream(nullptr, 0);
    ASSERT_NE(empty, 0u);
    EXPECT_EQ(MemoryStreamRead(out, 1, 4, empty), 0u);
    EXPECT_NE(MemoryStreamEof(empty), 0);
    EXPECT_EQ(MemoryStreamRead(out, 0, 4, empty), 0u);  // zero-size elements read nothing
    CloseMemoryStream(empty);
}

TEST(FileStream, SlotsGoThroughTheFileLayer) {
    file_test::TempTree tree;
    ASSERT_TRUE(tree.Write("data.bin", std::string("abcdefghij")));
    SelectFileBackEnd(nullptr);
    ArchiveTableClear();
    const StreamFunctionTable* t = GetFileStreamFunctions();
    EXPECT_EQ(t->tell, FileLayerTell);
    EXPECT_EQ(t->read, FileLayerRead);
    EXPECT_EQ(t->close, FileLayerClose);
    FileHandle f = FileLayerOpen(tree.Path("data.bin").c_str(), 0, 0);
    ASSERT_NE(f, 0u);
    char out[8] = {};
    EXPECT_EQ(t->seek(f, 3, 0), 0);
    EXPECT_EQ(t->read(out, 1, 4, f), 4u);
    EXPECT_EQ(memcmp(out, "defg", 4), 0);
    EXPECT_EQ(t->tell(f), 7);
    EXPECT_EQ(t->eof(f), 0);
    EXPECT_EQ(t->idleCheck(f), 1);
    EXPECT_EQ(t->read(out, 1, 8, f), 3u);
    EXPECT_EQ(t->read(out, 1, 8, f), 0u);
    EXPECT_NE(t->eof(f), 0);
    EXPECT_EQ(t->close(f), 0);
}

}  // namespace
