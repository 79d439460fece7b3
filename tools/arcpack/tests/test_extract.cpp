// The packing tool's extraction of hostile archives: entry names that would leave the target folder ("..", names
// carrying a separator) are refused and nothing is written outside. Built natively by scripts/arcpack-host.sh.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "runtime/archive/archive_reader.h"
#include "runtime/archive/archive_writer.h"
#include "tools/arcpack/arcpack.h"
#include "tools/arcpack/fs.h"

namespace {

using Bytes = std::vector<unsigned char>;

// An archive holding <from>/escaped, whose folder's stored name `from` is replaced by `to` (same length) directly in
// the index.
Bytes ArchiveWithRenamedEntry(const std::string& from, const std::string& to) {
    ArchiveMemorySink sink;
    ArchiveWriter writer(&sink, ArchiveWriterOptions());
    ArchiveTimes times;
    EXPECT_EQ(writer.AddFile((from + "/escaped").c_str(), "escaped", 7, times), 0);
    EXPECT_EQ(writer.Finish(), 0);
    Bytes bytes = sink.bytes;
    unsigned char key[kArchiveKeySize];
    ArchiveMakeKey(nullptr, key);
    ArchiveScramble(bytes.data(), bytes.size(), 0, key);
    ArchiveHeader header;
    ArchiveDecodeHeader(bytes.data(), &header);
    unsigned char* index = bytes.data() + header.indexOffset;
    // The stored copy of the name follows the upper-cased copy in its record; patch the stored one only.
    for (uint32_t at = 0; at + from.size() <= header.fileTableOffset; ++at) {
        if (memcmp(index + at, from.data(), from.size()) == 0 && at >= 4) {
            memcpy(index + at, to.data(), to.size());
            break;
        }
    }
    ArchiveScramble(bytes.data(), bytes.size(), 0, key);
    return bytes;
}

std::string TempFolder() {
    char pattern[] = "/tmp/arcpack_test_XXXXXX";
    const char* made = mkdtemp(pattern);
    EXPECT_NE(made, nullptr);
    return made ? made : "/tmp";
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

TEST(ArcpackExtract, RefusesNamesThatLeaveTheFolder) {
    struct Case {
        const char* from;
        const char* to;
        const char* escapee;  // what extraction would make outside the target folder, relative to root
    } cases[] = {{"ab", "..", "escaped"}, {"abcd", "../x", "x"}, {"xx", "x:", nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        std::string root = TempFolder();
        Bytes archive = ArchiveWithRenamedEntry(c.from, c.to);
        std::string archivePath = root + "/hostile.QVA";
        FILE* f = fopen(archivePath.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(archive.data(), 1, archive.size(), f);
        fclose(f);

        FILE* messages = tmpfile();
        EXPECT_EQ(ExtractArchive(archivePath, root + "/out", nullptr, messages), 1);
        fclose(messages);
        if (c.escapee) {
            EXPECT_FALSE(Exists(root + "/" + c.escapee));
        }
        EXPECT_FALSE(Exists(root + "/out/" + c.from));
        std::string cleanup = "rm -rf '" + root + "'";
        EXPECT_EQ(system(cleanup.c_str()), 0);
    }
}

TEST(ArcpackExtract, PackedTreeComesBackWithShiftJisNames) {
    std::string root = TempFolder();
    std::string error;
    ASSERT_TRUE(FsMakeFolder(root + "/in", &error));
    ASSERT_TRUE(FsMakeFolder(root + "/in/\xe8\xa1\xa8", &error));  // 表 (Shift-JIS 0x95 0x5C) in UTF-8
    ArchiveTimes times;
    times.write = 0x01D5000000000000ull;
    times.access = times.write;
    Bytes content(5000, 'k');
    ASSERT_TRUE(FsWriteFile(root + "/in/\xe8\xa1\xa8/\xe3\x82\xbd.txt", content, times, &error));  // ソ.txt
    FILE* messages = tmpfile();
    ASSERT_EQ(PackFolder(root + "/in", root + "/x.QVA", ArchiveWriterOptions(), messages), 0);

    // Inside the archive the names are Shift-JIS.
    FileArchiveSource source;
    ASSERT_TRUE(source.Open(root + "/x.QVA"));
    ArchiveReader reader;
    ASSERT_EQ(reader.Open(&source, nullptr), 0);
    ArchiveEntry entry;
    EXPECT_EQ(reader.Locate("\x95\x5c\\\x83\x5c.TXT", &entry), 0);
    EXPECT_TRUE(entry.IsPacked());

    ASSERT_EQ(ExtractArchive(root + "/x.QVA", root + "/out", nullptr, messages), 0);
    fclose(messages);
    Bytes back;
    ASSERT_TRUE(FsReadFile(root + "/out/\xe8\xa1\xa8/\xe3\x82\xbd.txt", &back, &error)) << error;
    EXPECT_TRUE(back == content);
    struct stat st;
    ASSERT_EQ(stat((root + "/out/\xe8\xa1\xa8/\xe3\x82\xbd.txt").c_str(), &st), 0);
    EXPECT_EQ((uint64_t)st.st_mtime, (times.write - 116444736000000000ull) / 10000000ull);
    std::string cleanup = "rm -rf '" + root + "'";
    EXPECT_EQ(system(cleanup.c_str()), 0);
}

}  // namespace
