// Packed archives through the archive-aware file layer: which archive serves a path, reads and seeks of stored and
// packed entries, listings, settings, table limits, path helpers, and damaged archives opened and read in-process.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "runtime/archive/archive.h"
#include "runtime/archive/archive_writer.h"
#include "runtime/file.h"
#include "runtime/memory.h"
#include "test_archive_fixture.h"
#include "tests/runtime/test_file_support.h"
#include "tests/runtime/test_log_fixture.h"

namespace {

using archive_test::Bytes;
using archive_test::FixtureFile;
using file_test::TempTree;

const char kNotFoundLog[] = "ＱＶＡファイルの中に指定のファイルは見つかりませんでした";

Bytes Archive(const std::vector<FixtureFile>& files, const ArchiveWriterOptions& options = ArchiveWriterOptions()) {
    std::string error;
    Bytes bytes = archive_test::WriteArchive(files, options, &error);
    EXPECT_FALSE(bytes.empty()) << error;
    return bytes;
}

// The whole file read through the file layer in 1000-byte pieces, or "<no file>".
std::string ReadAll(const std::string& path) {
    FileHandle f = FileLayerOpen(path.c_str(), 0, 0);
    if (f == 0) return "<no file>";
    std::string content;
    char buffer[1000];
    size_t got;
    while ((got = FileLayerRead(buffer, 1, sizeof(buffer), f)) > 0) content.append(buffer, got);
    EXPECT_NE(FileLayerEof(f), 0);
    EXPECT_EQ(FileLayerClose(f), 0);
    return content;
}

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

void ResetArchiveLayer() {
    SetDirectDiskFileAccess(0);
    SelectFileBackEnd(nullptr);
    ArchiveTableClear();
    ArchiveSetExtensionImpl(nullptr);
    ArchiveSetKey(nullptr);
}

class ArchiveLayerTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        cwd_.reset(new file_test::CurrentDirectory(tree_.Root()));
        ResetArchiveLayer();
        files_ = archive_test::FixtureFiles();
    }
    void TearDown() override {
        ResetArchiveLayer();
        cwd_.reset();
        LogFileTest::TearDown();
    }

    TempTree tree_;
    std::unique_ptr<file_test::CurrentDirectory> cwd_;
    std::vector<FixtureFile> files_;
};

TEST_F(ArchiveLayerTest, ServesEveryFileOfTheFolderFromItsArchive) {
    ASSERT_TRUE(tree_.Write("RES.QVA", Archive(files_)));
    int allocations = GetTrackedAllocCount();
    for (const FixtureFile& f : files_) {
        EXPECT_EQ(ReadAll("RES/" + f.path), AsString(f.data)) << f.path;
        std::string upper = f.path;
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        EXPECT_EQ(ReadAll(tree_.Path("res\\" + upper)), AsString(f.data)) << upper;  // absolute, any case
    }
    EXPECT_EQ(ReadAll("RES\\Image\\..\\.\\ten.bin"), "0123456789");

    // The archive stays open, unused, until the unused archives are released.
    int slot = -1;
    char prefix[kFilePathMax], inner[kFilePathMax];
    ASSERT_EQ(ArchiveFindForPath("res\\image\\title.png", &slot, prefix, inner), 0);
    EXPECT_STREQ(inner, "IMAGE\\TITLE.PNG");
    EXPECT_EQ(ArchiveTableUseCount(slot), 1);
    EXPECT_EQ(ArchiveRelease(slot), 0);
    EXPECT_EQ(ArchiveRelease(slot), -1);  // never below 0
    EXPECT_EQ(ArchiveTableOpenCount(), 1);
    ArchiveReleaseAll();
    EXPECT_EQ(ArchiveTableOpenCount(), 0);
    EXPECT_EQ(GetTrackedAllocCount(), allocations);
}

TEST_F(ArchiveLayerTest, TheShallowestArchiveServesTheSubtree) {
    ASSERT_TRUE(tree_.Write("RES.QVA", Archive({{"SUB/x.txt", Bytes{'o', 'u', 't', 'e', 'r'}}})));
    ASSERT_TRUE(tree_.Write("RES\\SUB.QVA", Archive({{"x.txt", Bytes{'i', 'n', 'n', 'e', 'r'}}})));
    ASSERT_TRUE(tree_.Write("RES\\SUB\\x.txt", std::string("disk")));
    EXPECT_EQ(ReadAll("RES\\SUB\\x.txt"), "outer");
    int slot;
    char prefix[kFilePathMax], inner[kFilePathMax];
    ASSERT_EQ(ArchiveFindForPath("RES\\SUB\\x.txt", &slot, prefix, inner), 0);
    ArchiveRelease(slot);
    EXPECT_STREQ(inner, "SUB\\X.TXT");
    std::string expectedPrefix = tree_.Path("RES");
    std::transform(expectedPrefix.begin(), expectedPrefix.end(), expectedPrefix.begin(), ::toupper);
    EXPECT_EQ(prefix, expectedPrefix);

    // Without the outer archive the inner one serves its own folder.
    ArchiveReleaseAll();
    ASSERT_TRUE(DeleteFileA(tree_.Path("RES.QVA").c_str()));
    EXPECT_EQ(ReadAll("RES\\SUB\\x.txt"), "inner");
}

TEST_F(ArchiveLayerTest, AFileMissingFromTheCoveringArchiveFailsAndLogs) {
    ASSERT_TRUE(tree_.Write("RES.QVA", Archive(files_)));
    ASSERT_TRUE(tree_.Write("RES\\disk_only.txt", std::string("on disk")));
    EXPECT_EQ(FileLayerOpen("RES\\disk_only.txt", 0, 0), 0u);
    EXPECT_NE(ReadLog().find(kNotFoundLog), std::string::npos) << ReadLog();
    EXPECT_EQ(VfsOpenFileCount(), 0);
    for (int slot = 0; slot < kArchiveTableSlots; ++slot) EXPECT_EQ(ArchiveTableUseCount(slot), 0);
    // A folder or a file standing where a folder is named are not files of the archive either.
    EXPECT_EQ(FileLayerOpen("RES\\Image", 0, 0), 0u);
    EXPECT_EQ(FileLayerOpen("RES\\readme.txt\\x", 0, 0), 0u);
    FileHandle resolved = FileLayerOpen("RES\\ten.bin\\..\\ten.bin", 0, 0);  // ".." is resolved first
    EXPECT_NE(resolved, 0u);
    FileLayerClose(resolved);
}

TEST_F(ArchiveLayerTest, AnArchiveWithoutTheMagicLeavesTheFolderToTheDisk) {
    Bytes broken = Archive(files_);
    broken[0] ^= 0xFF;
    ASSERT_TRUE(tree_.Write("RES.QVA", broken));
    ASSERT_TRUE(tree_.Write("RES\\readme.txt", std::string("from the disk")));
    EXPECT_EQ(ReadAll("RES\\readme.txt"), "from the disk");
    EXPECT_EQ(ArchiveTableOpenCount(), 0);

    ASSERT_TRUE(tree_.Write("RES.QVA", std::string("QV")));  // shorter than a header
    EXPECT_EQ(ReadAll("RES\\readme.txt"), "from the disk");
}

TEST_F(ArchiveLayerTest, TheCachedFolderServesOnlyPathsBehindASeparator) {
    ASSERT_TRUE(tree_.Write("RES.QVA", Archive(files_)));
    ASSERT_TRUE(tree_.Write("RESX\\readme.txt", std::string("resx on disk")));
    EXPECT_EQ(ReadAll("RES\\ten.bin"), "0123456789");  // caches RES
    EXPECT_EQ(ReadAll("RESX\\readme.txt"), "resx on disk");
    EXPECT_EQ(ReadAll("RES\\ten.bin"), "0123456789");
}

TEST_F(ArchiveLayerTest, ShiftJisNamesWithBackslashTrailBytes) {
    // 0x95 0x5C is one double-byte character whose trail byte is "\\".
    const std::string kanji = "\x95\x5c";
    ASSERT_TRUE(tree_.Write("STORY.QVA", Archive({{kanji + "/" + kanji + "a.txt", Bytes{'k', 'a', 'n', 'j', 'i'}},
                                                  {kanji + "a.txt", Bytes{'t', 'o', 'p'}}})));
    EXPECT_EQ(ReadAll("STORY\\" + kanji + "\\" + kanji + "A.TXT"), "kanji");
    EXPECT_EQ(ReadAll("story/" + kanji + "/" + kanji + "a.txt"), "kanji");
    EXPECT_EQ(ReadAll("STORY\\" + kanji + "a.txt"), "top");
    // A lead byte before "\\" takes it as its trail byte: the path names the same top-level file.
    EXPECT_EQ(ReadAll("STORY\\\x95\\a.txt"), "top");
    EXPECT_EQ(ReadAll("STORY\\\x95\\\\a.txt"), "<no file>");
}

TEST_F(ArchiveLayerTest, ReadsCountWholeElementsLikeDiskFiles) {
    ASSERT_TRUE(tree_.Write("RES.QVA", Archive(files_)));
    ASSERT_TRUE(tree_.Write("DISK\\ten.bin", std::string("0123456789")));
    // ten.bin is stored; readme.txt (5000 bytes) is packed and read from its last 10 bytes.
    struct Case {
        const char* path;
        int start;
    } cases[] = {{"RES\\ten.bin", 0}, {"RES\\readme.txt", 4990}, {"DISK\\ten.bin", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        FileHandle f = FileLayerOpen(c.path, 0, 0);
        ASSERT_NE(f, 0u);
        ASSERT_EQ(FileLayerSeek(f, c.start, 0), 0);
        char out[16];
        EXPECT_EQ(FileLayerRead(out, 4, 3, f), 2u);  // 2 elements (8 bytes), not 10
        EXPECT_EQ(FileLayerTell(f), c.start + 8);
        EXPECT_EQ(FileLayerEof(f), 0);
        EXPECT_EQ(FileLayerRead(out, 4, 3, f), 0u);  // the 2-byte tail is not an element
        EXPECT_NE(FileLayerEof(f), 0);
        EXPECT_EQ(FileLayerRead(out, 1, 4, f), 2u);
        EXPECT_EQ(FileLayerRead(out, 1, 4, f), 0u);
        EXPECT_NE(FileLayerEof(f), 0);
        // A seek past the end: reading reports the end.
        ASSERT_EQ(FileLayerSeek(f, 100000, 0), 0);
        EXPECT_EQ(FileLayerRead(out, 1, 4, f), 0u);
        EXPECT_NE(FileLayerEof(f), 0);
        ASSERT_EQ(FileLayerSeek(f, -4, 2), 0);
        EXPECT_EQ(FileLayerRead(out, 2, 2, f), 2u);
        EXPECT_EQ(FileLayerIdleCheck(f), 1);
        EXPECT_EQ(FileLayerClose(f), 0);
        EXPECT_EQ(FileLayerClose(f), -1);  // stale handle
        EXPECT_EQ(FileLayerTell(f), -1);
    }
}

std::vector<std::string> List(const std::string& pattern, std::vector<int>* directories = nullptr) {
    std::vector<std::string> names;
    FindRecord record;
    FindHandle find = GetFileBackEnd()->findFirst(pattern.c_str(), &record);
    if (find == -1) return names;
    do {
        names.push_back(record.name);
        if (directories) directories->push_back(record.isDirectory);
    } while (GetFileBackEnd()->findNext(find, &record) == 0);
    EXPECT_EQ(GetFileBackEnd()->findClose(find), 0);
    EXPECT_EQ(GetFileBackEnd()->findClose(find), -1);
    return names;
}

TEST_F(ArchiveLayerTest, ListingsOfArchiveFolders) {
    files_.push_back({"Image/a.b.png", Bytes{1}});
    ASSERT_TRUE(tree_.Write("RES.QVA", Archive(files_)));
    std::vector<int> dirs;
    std::vector<std::string> top = List("RES\\*", &dirs);
    EXPECT_EQ(top, (std::vector<std::string>{".", "readme.txt", "Image", "Sound", "ten.bin", "EmptyFolder"}));
    EXPECT_EQ(dirs, (std::vector<int>{1, 0, 1, 1, 0, 1}));
    EXPECT_EQ(List("res\\image\\*"),
              (std::vector<std::string>{".", "..", "title.png", "Sub", "empty.dat", "a.b.png"}));
    EXPECT_EQ(List("RES\\Image\\*.PNG"), (std::vector<std::string>{"title.png", "a.b.png"}));
    EXPECT_EQ(List("RES\\Image\\?ub"), (std::vector<std::string>{"Sub"}));
    EXPECT_TRUE(List("RES\\Nothing\\*").empty());
    EXPECT_TRUE(List("RES\\readme.txt\\*").empty());

    FindRecord record;
    FindHandle find = VfsFindFirst("RES\\Image\\title.png", &record);
    ASSERT_NE(find, -1);
    EXPECT_STREQ(record.name, "title.png");
    EXPECT_EQ(record.sizeLow, 3000u);
    EXPECT_EQ(record.isDirectory, 0);
    EXPECT_GE(record.lastWriteTime.year, 1990);
    EXPECT_EQ(VfsFindNext(find, &record), -1);
    EXPECT_EQ(VfsFindClose(find), 0);
    for (int slot = 0; slot < kArchiveTableSlots; ++slot) EXPECT_EQ(ArchiveTableUseCount(slot), 0);

    // Folders without an archive are listed by the system.
    ASSERT_TRUE(tree_.Write("PLAIN\\one.txt", std::string("1")));
    EXPECT_EQ(List("PLAIN\\*.txt"), (std::vector<std::string>{"one.txt"}));
}

TEST_F(ArchiveLayerTest, ExtensionKeyAndDirectDiskSettings) {
    ArchiveWriterOptions keyed;
    keyed.keyText = "secret";
    ASSERT_TRUE(tree_.Write("RES.Qzm", Archive({{"a.txt", Bytes{'q', 'z', 'm'}}}, keyed)));
    ASSERT_TRUE(tree_.Write("RES.QVA", Archive({{"a.txt", Bytes{'q', 'v', 'a'}}})));
    ASSERT_TRUE(tree_.Write("RES\\a.txt", std::string("disk")));

    EXPECT_STREQ(ArchiveGetExtension(), "QVA");
    EXPECT_EQ(ReadAll("RES\\a.txt"), "qva");
    ArchiveSetExtensionImpl("Qzm");
    EXPECT_STREQ(ArchiveGetExtension(), "Qzm");
    ArchiveSetKey("secret");
    EXPECT_EQ(ReadAll("RES\\a.txt"), "qzm");
    ArchiveSetKey(nullptr);
    ArchiveTableClear();
    EXPECT_EQ(ReadAll("RES\\a.txt"), "disk");  // the Qzm archive does not open without its key

    ArchiveSetExtensionImpl(std::string(64, 'X').c_str());  // too long: the default again
    EXPECT_STREQ(ArchiveGetExtension(), "QVA");
    ArchiveSetExtensionImpl(std::string(63, 'X').c_str());
    EXPECT_EQ(strlen(ArchiveGetExtension()), 63u);
    ArchiveSetExtensionImpl("");
    EXPECT_STREQ(ArchiveGetExtension(), "QVA");

    SetDirectDiskFileAccess(1);
    SelectFileBackEnd(nullptr);
    EXPECT_EQ(ReadAll("RES\\a.txt"), "disk");
}

TEST_F(ArchiveLayerTest, OpenFileLimit) {
    ASSERT_TRUE(tree_.Write("RES.QVA", Archive(files_)));
    std::vector<FileHandle> open;
    for (int i = 0; i < kVfsFileSlots; ++i) {
        FileHandle f = FileLayerOpen("RES\\ten.bin", 0, 0);
        ASSERT_NE(f, 0u) << i;
        EXPECT_EQ(f & 0xF0000000u, kVfsHandleTag);
        open.push_back(f);
    }
    ResetLog();
    EXPECT_EQ(FileLayerOpen("RES\\ten.bin", 0, 0), 0u);
    EXPECT_NE(ReadLog().find("同時に開けるファイルの数が限界を超えました"), std::string::npos);
    for (FileHandle f : open) EXPECT_EQ(FileLayerClose(f), 0);
    EXPECT_EQ(VfsOpenFileCount(), 0);
    EXPECT_EQ(ReadAll("RES\\ten.bin"), "0123456789");
}

TEST_F(ArchiveLayerTest, AFullArchiveTableClosesUnusedArchives) {
    const int count = kArchiveTableSlots + 8;
    for (int i = 0; i < count; ++i) {
        std::string text = "archive " + std::to_string(i);
        ASSERT_TRUE(tree_.Write("F" + std::to_string(i) + ".QVA", Archive({{"a.txt", Bytes(text.begin(), text.end())}})));
    }
    // One file kept open pins its archive while the others come and go.
    FileHandle pinned = FileLayerOpen("F0\\a.txt", 0, 0);
    ASSERT_NE(pinned, 0u);
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(ReadAll("F" + std::to_string(i) + "\\a.txt"), "archive " + std::to_string(i));
        ASSERT_LE(ArchiveTableOpenCount(), kArchiveTableSlots);
    }
    char out[16] = {};
    EXPECT_EQ(FileLayerRead(out, 1, 9, pinned), 9u);
    EXPECT_STREQ(out, "archive 0");
    EXPECT_EQ(FileLayerClose(pinned), 0);
}

TEST(ArchivePathHelpers, BuildAbsolutePath) {
    const char* base = "C:\\GAME\\DATA";
    struct Case {
        const char* relative;
        const char* base;
        const char* expected;  // null: -1
    } cases[] = {
        {"RES\\A.PNG", base, "C:\\GAME\\DATA\\RES\\A.PNG"},
        {".\\RES\\.\\A.PNG", base, "C:\\GAME\\DATA\\RES\\A.PNG"},
        {"..\\A.PNG", base, "C:\\GAME\\A.PNG"},
        {"..\\..\\..\\..\\A.PNG", base, "C:\\A.PNG"},  // ".." never removes the drive
        {"\\TOP\\A.PNG", base, "C:\\TOP\\A.PNG"},
        {"D:\\X\\Y", base, "D:\\X\\Y"},
        {"d:", base, "d:\\"},
        {"RES\\", base, "C:\\GAME\\DATA\\RES"},
        {"", base, "C:\\GAME\\DATA"},
        {"A", "C:\\", "C:\\A"},
        {"\x95\x5c\\A", base, "C:\\GAME\\DATA\\\x95\x5c\\A"},
        {"..\\B", "C:\\GAME\\\x95\x5c", "C:\\GAME\\B"},  // the trail byte is no separator to cut at
        {"RES\\\\A.PNG", base, nullptr},
        {"\\\\SERVER\\SHARE", base, nullptr},
    };
    for (const Case& c : cases) {
        char out[kFilePathMax];
        int result = BuildAbsolutePath(c.relative, out, c.base);
        if (c.expected == nullptr) {
            EXPECT_EQ(result, -1) << c.relative;
        } else {
            ASSERT_EQ(result, 0) << c.relative;
            EXPECT_STREQ(out, c.expected) << c.relative;
        }
    }
    char out[kFilePathMax];
    EXPECT_EQ(BuildAbsolutePath(std::string(300, 'A').c_str(), out, base), -1);
    std::string deep;
    for (int i = 0; i < 40; ++i) deep += "FOLDER\\";
    EXPECT_EQ(BuildAbsolutePath(deep.c_str(), out, base), -1);
}

TEST(ArchivePathHelpers, CanonicalPathsAreAbsoluteAndUpperCase) {
    TempTree tree;
    file_test::CurrentDirectory cwd(tree.Root());
    SelectFileBackEnd(nullptr);
    char here[kFilePathMax];
    ASSERT_GT(FileLayerGetDir(here), 0);
    std::string expected = std::string(here) + "\\RES\\\x95\x5c\\A.PNG";
    std::transform(expected.begin(), expected.end(), expected.begin(), ::toupper);
    char out[kFilePathMax];
    ASSERT_EQ(MakeCanonicalFullPath("res/sub/../\x95\x5c/a.png", out), 0);
    EXPECT_EQ(std::string(out), expected);
}

// Damaged archives opened and read through the runtime's own layer: each must be refused or read to the end, and
// every failure path must give back what it allocated.
TEST(ArchiveDamage, DamagedArchivesThroughTheFileLayer) {
    TempTree tree;
    file_test::CurrentDirectory cwd(tree.Root());
    ResetArchiveLayer();
    std::vector<FixtureFile> files = archive_test::FixtureFiles();
    Bytes original = archive_test::WriteArchive(files, ArchiveWriterOptions());
    ASSERT_FALSE(original.empty());
    int allocations = GetTrackedAllocCount();
    int opened = 0, refused = 0;
    for (uint32_t seed = 1; seed <= 2500; ++seed) {
        ASSERT_TRUE(tree.Write("RES.QVA", archive_test::Mutate(original, seed)));
        for (const FixtureFile& f : files) {
            FileHandle file = FileLayerOpen(("RES\\" + f.path).c_str(), 0, 0);
            if (file == 0) {
                ++refused;
                continue;
            }
            ++opened;
            char buffer[700];
            int reads = 0;
            while (FileLayerRead(buffer, 1 + reads % 3, sizeof(buffer) / 3, file) > 0) ++reads;
            FileLayerSeek(file, -5, 2);
            while (FileLayerRead(buffer, 1, sizeof(buffer), file) > 0) ASSERT_LT(++reads, 100000);
            EXPECT_NE(FileLayerEof(file), 0);
            FileLayerClose(file);
        }
        for (const char* pattern : {"RES\\*", "RES\\Image\\*", "RES\\Image\\Sub\\*.bin"}) {
            FindRecord record;
            FindHandle find = VfsFindFirst(pattern, &record);
            if (find == -1) continue;
            int entries = 0;
            while (VfsFindNext(find, &record) == 0) ASSERT_LT(++entries, 100000);
            VfsFindClose(find);
        }
        ArchiveTableClear();  // the next variant is a new archive
        ASSERT_EQ(GetTrackedAllocCount(), allocations) << "seed " << seed;
    }
    EXPECT_GT(opened, 1000);
    EXPECT_GT(refused, 1000);
}

}  // namespace

// ---- Which system calls an open makes: folders known to hold no archive, or not the file, are not asked again ----

constexpr const char kDeepFolder[] = "Lv1\\Lv2\\Lv3\\Lv4\\Lv5\\Lv6\\Lv7\\Lv8\\Lv9";
const std::string kDeepFile = std::string(kDeepFolder) + "\\Data.bin";

struct Probes {
    int lookups;    // look-ups of a path by name
    int checks;     // folder times read through a kept handle
    int diskOpens;  // files asked of the system to be opened
};

template <typename F>
Probes CountProbes(F open) {
    const ArchiveProbeCounts before = ArchiveGetProbeCounts();
    open();
    const ArchiveProbeCounts after = ArchiveGetProbeCounts();
    return {after.nameLookups - before.nameLookups, after.folderChecks - before.folderChecks,
            after.diskOpens - before.diskOpens};
}

// Folders whose listing an open of a disk file reads: the drive's root, every folder above the file's own (for
// archives beside the next one down) and the file's own folder (for the file).
int FoldersRead(const std::string& path) {
    char canonical[kFilePathMax];
    EXPECT_EQ(MakeCanonicalFullPath(path.c_str(), canonical), 0);
    return (int)std::count(canonical, canonical + strlen(canonical), '\\');
}

class ArchiveFolderTest : public ArchiveLayerTest {
protected:
    void SetUp() override {
        ArchiveLayerTest::SetUp();
        // The tree is made by the test just now; its listings are trusted at once, and its folders are set an hour
        // back (AgeFolders), so that any later change in them shows as a new time.
        ArchiveSetFolderSettleTimeForTest(0);
    }
    void TearDown() override {
        ArchiveSetFolderSettleTimeForTest(-1);
        ArchiveLayerTest::TearDown();
    }

    // Sets the last-write time of the tree's root and of every folder along `relative` `minutes` back.
    void AgeFolders(const std::string& relative, int minutes = 60) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t;
        t.LowPart = now.dwLowDateTime;
        t.HighPart = now.dwHighDateTime;
        t.QuadPart -= (ULONGLONG)minutes * 60 * 10000000;
        FILETIME past = {t.LowPart, t.HighPart};
        std::vector<std::string> folders = {tree_.Root()};
        for (size_t i = 0; i <= relative.size(); ++i)
            if (i == relative.size() || relative[i] == '\\') folders.push_back(tree_.Path(relative.substr(0, i)));
        for (const std::string& folder : folders) {
            HANDLE h = CreateFileA(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            ASSERT_NE(h, INVALID_HANDLE_VALUE) << folder;
            EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &past)) << folder;
            CloseHandle(h);
        }
    }
};

TEST_F(ArchiveFolderTest, RepeatedOpensInADeepTreeListEachFolderOnce) {
    ASSERT_TRUE(tree_.Write(kDeepFile, std::string("deep data")));
    ASSERT_TRUE(tree_.Write("Lv1\\Lv2\\Lv3\\Mid.bin", std::string("middle")));
    AgeFolders(kDeepFolder);
    ASSERT_GT(FoldersRead(kDeepFile), 10);

    Probes first = CountProbes([&] { EXPECT_EQ(ReadAll(kDeepFile), "deep data"); });
    EXPECT_GT(first.lookups, 0);

    // Every later open reads one time per folder and looks nothing up by name, whatever the case of the name; the
    // system is asked to open a file its folder has, not one it lacks.
    const std::string absoluteUpper = [&] {
        std::string s = tree_.Path(kDeepFile);
        std::transform(s.begin(), s.end(), s.begin(), ::toupper);
        return s;
    }();
    const struct {
        std::string path;
        const char* content;
    } opens[] = {
        {kDeepFile, "deep data"},
        {"lv1\\lv2\\lv3\\lv4\\lv5\\lv6\\lv7\\lv8\\lv9\\data.bin", "deep data"},
        {"LV1/LV2/LV3/LV4/LV5/LV6/LV7/LV8/LV9/DATA.BIN", "deep data"},
        {absoluteUpper, "deep data"},
        {"Lv1\\Lv2\\Lv3\\Lv4\\..\\mid.BIN", "middle"},
        {"Lv1\\Lv2\\Lv3\\Lv4\\Lv5\\Lv6\\Lv7\\Lv8\\Lv9\\Data_a.bin", "<no file>"},
        {"lv1\\lv2\\lv3\\lv4\\lv5\\lv6\\lv7\\lv8\\lv9\\DATA_A.BIN", "<no file>"},
        {"Lv1\\Lv2\\Lv3\\Lv4\\Lv5\\Lv6\\Lv7\\Lv8\\Data.bin", "<no file>"},
    };
    for (const auto& o : opens) {
        Probes p = CountProbes([&] { EXPECT_EQ(ReadAll(o.path), o.content) << o.path; });
        EXPECT_EQ(p.lookups, 0) << o.path;
        EXPECT_EQ(p.checks, FoldersRead(o.path)) << o.path;
        EXPECT_EQ(p.diskOpens, strcmp(o.content, "<no file>") == 0 ? 0 : 1) << o.path;
    }
}

// Names that a folder's listing cannot settle go to the system, which gives what it always gave: a folder's name, a
// name the system trims, a short-name alias, a device.
TEST_F(ArchiveFolderTest, NamesOnlyTheSystemCanSettleAreAskedOfIt) {
    ASSERT_TRUE(tree_.Write(kDeepFile, std::string("deep data")));
    ASSERT_TRUE(tree_.Write("Lv1\\A long file name.data", std::string("long")));
    AgeFolders(kDeepFolder);
    char shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(tree_.Path("Lv1\\A long file name.data").c_str(), shortPath, MAX_PATH), 0u);
    const std::string shortName = strrchr(shortPath, '\\') + 1;
    ASSERT_NE(shortName.find('~'), std::string::npos) << shortName;
    EXPECT_EQ(ReadAll(kDeepFile), "deep data");  // every folder listed

    const struct {
        std::string path;
        const char* content;
    } opens[] = {
        {"Lv1\\Lv2", "<no file>"},
        {kDeepFile + ".", "deep data"},
        {kDeepFile + " ", "deep data"},
        {"Lv1\\" + shortName, "long"},
        {"Lv1\\NUL", ""},
        {"Lv1\\nul.txt", ""},
    };
    for (const auto& o : opens) {
        Probes p = CountProbes([&] { EXPECT_EQ(ReadAll(o.path), o.content) << o.path; });
        EXPECT_EQ(p.lookups, 0) << o.path;
        EXPECT_EQ(p.diskOpens, 1) << o.path;
    }
}

TEST_F(ArchiveFolderTest, FilesAndArchivesAddedBetweenOpensAreFoundOnTheNext) {
    ASSERT_TRUE(tree_.Write(kDeepFile, std::string("from the disk")));
    AgeFolders(kDeepFolder);
    EXPECT_EQ(ReadAll(kDeepFile), "from the disk");
    EXPECT_EQ(ReadAll("Lv1\\Lv2\\Later.bin"), "<no file>");
    EXPECT_EQ(CountProbes([&] { EXPECT_EQ(ReadAll(kDeepFile), "from the disk"); }).lookups, 0);
    EXPECT_EQ(CountProbes([&] { EXPECT_EQ(ReadAll("Lv1\\Lv2\\Later.bin"), "<no file>"); }).diskOpens, 0);

    // A file written into a known folder, where it was found missing before.
    ASSERT_TRUE(tree_.Write("Lv1\\Lv2\\Later.bin", std::string("later")));
    EXPECT_EQ(ReadAll("Lv1\\Lv2\\Later.bin"), "later");
    EXPECT_EQ(ReadAll(kDeepFile), "from the disk");  // Lv2 has changed: it and the folders below are listed again
    // And one taken away again.
    ASSERT_TRUE(DeleteFileA(tree_.Path("Lv1\\Lv2\\Later.bin").c_str()));
    EXPECT_EQ(ReadAll("Lv1\\Lv2\\Later.bin"), "<no file>");
    EXPECT_EQ(ReadAll(kDeepFile), "from the disk");

    // An archive for Lv4, named in other case than its folder, written beside it: only Lv3 is listed again.
    ASSERT_TRUE(tree_.Write("Lv1\\Lv2\\Lv3\\lv4.qva",
                            Archive({{"Lv5/Lv6/Lv7/Lv8/Lv9/Data.bin", Bytes{'p', 'a', 'c', 'k', 'e', 'd'}}})));
    Probes p = CountProbes([&] { EXPECT_EQ(ReadAll(kDeepFile), "packed"); });
    EXPECT_EQ(p.lookups, 1);
    EXPECT_EQ(ReadAll("LV1\\LV2\\LV3\\LV4\\LV5\\LV6\\LV7\\LV8\\LV9\\DATA.BIN"), "packed");

    // An archive of another extension changes nothing; the game's extension finds its own.
    ASSERT_TRUE(tree_.Write("Lv1\\Lv2\\Lv3.Qzm", Archive({{"Lv4/x.txt", Bytes{'q'}}})));
    EXPECT_EQ(ReadAll("Lv1\\Lv2\\Lv3\\Lv4\\x.txt"), "<no file>");  // inside LV4.QVA, which lacks it
    ArchiveSetExtensionImpl("Qzm");
    EXPECT_EQ(ReadAll("Lv1\\Lv2\\Lv3\\Lv4\\x.txt"), "q");
}

TEST_F(ArchiveFolderTest, AFolderPutInPlaceOfAnotherIsWatchedAfresh) {
    ASSERT_TRUE(tree_.Write(kDeepFile, std::string("old tree")));
    AgeFolders(kDeepFolder);
    EXPECT_EQ(ReadAll(kDeepFile), "old tree");

    // Lv3 moved aside and a new Lv3 made: a handle kept to the old one would never see what the new one gets. (A
    // folder deleted outright stays while handles to it are open, on Windows and under Wine alike.)
    ASSERT_TRUE(MoveFileA(tree_.Path("Lv1\\Lv2\\Lv3").c_str(), tree_.Path("Lv1\\Lv2\\Old3").c_str()));
    ASSERT_TRUE(tree_.Write(kDeepFile, std::string("new tree")));
    AgeFolders(kDeepFolder, 30);
    EXPECT_EQ(ReadAll(kDeepFile), "new tree");
    ASSERT_TRUE(tree_.Write("Lv1\\Lv2\\Lv3\\Lv4.QVA", Archive({{"Lv5/Lv6/Lv7/Lv8/Lv9/Data.bin", Bytes{'a'}}})));
    EXPECT_EQ(ReadAll(kDeepFile), "a");
}

TEST_F(ArchiveFolderTest, FoldersChangedLatelyAreListedAgainUntilTheyKeepStill) {
    ASSERT_TRUE(tree_.Write(kDeepFile, std::string("data")));
    AgeFolders(kDeepFolder, 10);
    ArchiveSetFolderSettleTimeForTest(60 * 60 * 1000);  // ten minutes is lately
    EXPECT_EQ(ReadAll(kDeepFile), "data");
    // The tree's root and Lv1 to Lv8 are listed again (their handles are kept).
    EXPECT_GE(CountProbes([&] { EXPECT_EQ(ReadAll(kDeepFile), "data"); }).lookups, 9);

    ArchiveSetFolderSettleTimeForTest(0);
    EXPECT_GE(CountProbes([&] { EXPECT_EQ(ReadAll(kDeepFile), "data"); }).lookups, 9);  // listed once more, now trusted
    EXPECT_EQ(CountProbes([&] { EXPECT_EQ(ReadAll(kDeepFile), "data"); }).lookups, 0);
}
