// The archive format without the file system: key making and scrambling, name records, name patterns, writer and
// reader round trips in every version, and damaged archives read to the end. Portable: also built natively with
// sanitizers by scripts/arcpack-host.sh, where an out-of-bounds read in the damaged-archive loop is caught.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/archive/archive_format.h"
#include "runtime/archive/archive_reader.h"
#include "runtime/archive/archive_writer.h"
#include "test_archive_fixture.h"

namespace {

using archive_test::Bytes;
using archive_test::FixtureFile;

Bytes Key(const char* text) {
    Bytes key(kArchiveKeySize);
    ArchiveMakeKey(text, key.data());
    return key;
}

TEST(ArchiveKey, PositionTransformsAndTextLengths) {
    // "ABCDEFGHIJKL" through the twelve position transforms, worked out by hand.
    const Bytes expected = {0xBE, 0x24, 0xC9, 0xBB, 0xBA, 0xEA, 0xB8, 0xF6, 0x4A, 0x35, 0x62, 0x80};
    EXPECT_EQ(Key("ABCDEFGHIJKL"), expected);
    EXPECT_EQ(Key("ABCDEFGHIJKLMNOP"), expected);  // only the first 12 characters count
    EXPECT_EQ(Key("AB"), Key("ABABABABABAB"));      // short texts repeat
    EXPECT_EQ(Key("ABCDE"), Key("ABCDEABCDEAB"));   // the last copy cut short
    EXPECT_EQ(Key(nullptr), Key(""));               // no text: the built-in filler
    EXPECT_NE(Key(nullptr), Key("A"));
    Bytes fallback(kArchiveKeySize);
    ArchiveFallbackKey(fallback.data());
    EXPECT_NE(fallback, Key(nullptr));
}

TEST(ArchiveKey, ScramblingDependsOnlyOnTheAbsoluteOffset) {
    Bytes key = Key("secret");
    Bytes plain(100);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = (unsigned char)(i * 13);
    Bytes whole = plain;
    EXPECT_EQ(ArchiveScramble(whole.data(), whole.size(), 1000, key.data()), (1000u + 100u) % 12u);
    EXPECT_NE(whole, plain);
    for (size_t i = 0; i < whole.size(); ++i) EXPECT_EQ(whole[i], plain[i] ^ key[(1000 + i) % 12]) << i;
    // Any stretch descrambles on its own, at its own offset.
    Bytes pieces = whole;
    size_t cuts[] = {0, 7, 8, 31, 55, 100};
    for (size_t c = 0; c + 1 < sizeof(cuts) / sizeof(cuts[0]); ++c)
        ArchiveScramble(pieces.data() + cuts[c], cuts[c + 1] - cuts[c], 1000 + cuts[c], key.data());
    EXPECT_EQ(pieces, plain);
}

TEST(ArchiveName, RecordLayout) {
    // A 4-character name: L = 2, so each copy of the name takes 8 bytes with four NUL bytes behind it.
    unsigned char record[20];
    ASSERT_EQ(ArchiveNameRecordSize(4), sizeof(record));
    ArchiveWriteNameRecord("abCD", 4, record);
    const unsigned char expected[20] = {2,   0,   0x0A, 0x01,                    // L, sum 0x10A of "ABCD"
                                        'A', 'B', 'C',  'D',  0, 0, 0, 0,        // upper-cased
                                        'a', 'b', 'C',  'D',  0, 0, 0, 0};       // as stored
    EXPECT_EQ(memcmp(record, expected, sizeof(record)), 0);

    EXPECT_EQ(ArchiveNameUnits(3), 1u);  // "ABC" + NUL fills one unit
    EXPECT_EQ(ArchiveNameUnits(7), 2u);
    EXPECT_EQ(ArchiveNameUnits(8), 3u);

    // Double-byte characters are copied unchanged even when their trail byte is a lower-case letter.
    const char mixed[] = "\x88\x61z\x95\x5c";
    char upper[6] = {};
    ArchiveUpperCaseName(mixed, 5, upper);
    EXPECT_EQ(memcmp(upper, "\x88\x61Z\x95\x5c", 5), 0);
}

TEST(ArchivePath, CompareNameMb) {
    struct Case {
        const char* name;
        const char* pattern;
        int expected;
    } cases[] = {
        {"TITLE.PNG", "TITLE.PNG", 0},
        {"TITLE.PNG", "*", 0},
        {"TITLE.PNG", "*.PNG", 0},
        {"TITLE.PNG", "*.JPG", -1},
        {"TITLE.PNG", "T?TLE.*", 0},
        {"TITLE.PNG", "TITLE", -1},
        {"TITLE", "TITLE.PNG", -1},
        {"A.B.PNG", "*.PNG", 0},  // the star must give the first '.' back
        {"ABAB", "*AB", 0},
        {"ABAC", "*AB", -1},
        {"", "*", 0},
        {".", "*", 0},
        {"\x95\x5c.TXT", "?.TXT", 0},        // '?' takes a whole double-byte character
        {"\x95\x5c.TXT", "\x95\x5c*", 0},
        {"\x95\x5c.TXT", "\x95?.TXT", -1},    // half a character never matches
        {"X\x5c", "*\x5c", 0},               // a plain 0x5C still matches itself
        {"\x95\x5c", "*\x5c", -1},           // but not as the trail byte of a character
    };
    for (const Case& c : cases)
        EXPECT_EQ(CompareNameMb(c.name, c.pattern), c.expected) << c.name << " vs " << c.pattern;
}

TEST(ArchivePath, SplitDirAndName) {
    struct Case {
        const char* path;
        const char* dir;
        const char* name;
    } cases[] = {
        {"RES\\SUB\\A.PNG", "RES\\SUB", "A.PNG"},
        {"RES/A.PNG", "RES", "A.PNG"},
        {"A.PNG", "", "A.PNG"},
        {"\\A.PNG", "\\", "A.PNG"},
        {"C:A.PNG", "C:", "A.PNG"},
        {"RES\\", "RES", ""},
        {"RES\\\x95\x5c.TXT", "RES", "\x95\x5c.TXT"},  // the trail byte 0x5C is not a separator
    };
    for (const Case& c : cases) {
        char dir[64], name[64];
        ASSERT_EQ(SplitDirAndName(c.path, dir, name, sizeof(dir)), 0) << c.path;
        EXPECT_STREQ(dir, c.dir) << c.path;
        EXPECT_STREQ(name, c.name) << c.path;
    }
    char small[4];
    EXPECT_EQ(SplitDirAndName("FOLDER\\NAME", small, nullptr, sizeof(small)), -1);
}

std::string Slashes(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

TEST(ArchiveWriterReader, RoundTripInEveryVersion) {
    std::vector<FixtureFile> files = archive_test::FixtureFiles();
    files.push_back({"Story/\x95\x5c/\x95\x5c.txt", Bytes(300, 'x')});  // 0x5C trail bytes in a folder and a file
    for (int version = 0; version <= kArchiveMaxVersion; ++version) {
        for (bool pack : {false, true}) {
            SCOPED_TRACE("version " + std::to_string(version) + (pack ? " packed" : " stored"));
            ArchiveWriterOptions options;
            options.version = version;
            options.pack = pack;
            std::string error;
            Bytes archive = archive_test::WriteArchive(files, options, &error);
            ASSERT_FALSE(archive.empty()) << error;
            ArchiveMemorySource source(archive.data(), archive.size());
            ArchiveReader reader;
            ASSERT_EQ(reader.Open(&source, nullptr), 0);
            EXPECT_EQ(reader.Header().version, version);

            int packedEntries = 0;
            for (const FixtureFile& f : files) {
                ArchiveEntry entry;
                ASSERT_EQ(reader.Locate(f.path.c_str(), &entry), 0) << f.path;
                EXPECT_FALSE(entry.IsDirectory());
                EXPECT_EQ(entry.size, f.data.size());
                packedEntries += entry.IsPacked() ? 1 : 0;
                Bytes contents;
                ASSERT_EQ(reader.ReadFile(entry, &contents), 0) << f.path;
                EXPECT_TRUE(contents == f.data) << f.path;
            }
            // Packing needs version 2; then the compressible files are packed and the noise is stored.
            if (pack && version >= kArchiveFirstPackingVersion) {
                EXPECT_EQ(packedEntries, 4);
            } else {
                EXPECT_EQ(packedEntries, 0);
            }

            // The walk yields every folder and file once, with stored names and case.
            std::vector<std::string> walked;
            ASSERT_EQ(reader.Walk([&](const std::string& path, const ArchiveEntry&) {
                walked.push_back(path);
                return 0;
            }),
                      0);
            for (const FixtureFile& f : files)
                EXPECT_EQ(std::count(walked.begin(), walked.end(), Slashes(f.path)), 1) << f.path;
            EXPECT_EQ(std::count(walked.begin(), walked.end(), "Image\\Sub"), 1);
            EXPECT_EQ(std::count(walked.begin(), walked.end(), "EmptyFolder"), 1);
            EXPECT_EQ(walked.size(), files.size() + 7);  // Image, Image\Sub, Sound, Sound\se, Story, Story\<kanji>, EmptyFolder
        }
    }
}

TEST(ArchiveWriterReader, LookupIgnoresCaseOfLettersOnly) {
    Bytes archive = archive_test::WriteArchive(archive_test::FixtureFiles(), ArchiveWriterOptions());
    ArchiveMemorySource source(archive.data(), archive.size());
    ArchiveReader reader;
    ASSERT_EQ(reader.Open(&source, nullptr), 0);
    ArchiveEntry entry;
    EXPECT_EQ(reader.Locate("IMAGE\\sub\\DEEP.BIN", &entry), 0);
    EXPECT_EQ(entry.size, 20000u);
    EXPECT_EQ(reader.Locate("image/TITLE.png", &entry), 0);
    EXPECT_EQ(reader.Locate("Image\\titl.png", &entry), -1);
    EXPECT_EQ(reader.Locate("readme.txt\\x", &entry), -1);  // a file is no folder
    EXPECT_EQ(reader.Locate("Image\\missing\\deep.bin", &entry), -1);
}

TEST(ArchiveWriterReader, KeysAndTheFallbackKey) {
    std::vector<FixtureFile> files = archive_test::FixtureFiles();
    ArchiveWriterOptions keyed;
    keyed.keyText = "Kavorin";
    Bytes withKey = archive_test::WriteArchive(files, keyed);
    ArchiveWriterOptions fallback;
    fallback.fallbackKey = true;
    Bytes withFallback = archive_test::WriteArchive(files, fallback);

    ArchiveReader reader;
    ArchiveMemorySource keySource(withKey.data(), withKey.size());
    EXPECT_EQ(reader.Open(&keySource, "Kavorin"), 0);
    EXPECT_EQ(reader.Open(&keySource, nullptr), -1);
    EXPECT_EQ(reader.Open(&keySource, "Kavorim"), -1);

    // Whatever key is given, the fallback key is tried second.
    ArchiveMemorySource fallbackSource(withFallback.data(), withFallback.size());
    ASSERT_EQ(reader.Open(&fallbackSource, "anything"), 0);
    ArchiveEntry entry;
    Bytes contents;
    ASSERT_EQ(reader.Locate("readme.txt", &entry), 0);
    ASSERT_EQ(reader.ReadFile(entry, &contents), 0);
    EXPECT_TRUE(contents == files[0].data);
}

TEST(ArchiveWriterReader, WriterRefusesAmbiguousPaths) {
    ArchiveMemorySink sink;
    ArchiveWriter writer(&sink, ArchiveWriterOptions());
    ArchiveTimes times;
    ASSERT_EQ(writer.AddFile("Res/a.png", "1", 1, times), 0);
    EXPECT_EQ(writer.AddFile("res/A.PNG", "2", 1, times), -1);  // differs only in case
    EXPECT_EQ(writer.AddFile("Res/a.png/x", "3", 1, times), -1);  // a file where a folder is needed
    EXPECT_EQ(writer.AddDirectory("RES/A.png", times), -1);
    EXPECT_EQ(writer.AddFile("Res//b.png", "4", 1, times), -1);
    EXPECT_EQ(writer.AddFile("Res/../b.png", "5", 1, times), -1);
    EXPECT_EQ(writer.AddFile("", "6", 1, times), -1);
    EXPECT_FALSE(writer.Error().empty());
    EXPECT_EQ(writer.AddDirectory("res", times), 0);  // the existing folder, whatever its case
    ASSERT_EQ(writer.Finish(), 0);
    EXPECT_EQ(writer.AddFile("late.txt", "7", 1, times), -1);
}

// Every damaged variant must be refused or read to the end without a crash, a hang or a read out of bounds.
TEST(ArchiveDamage, DamagedArchivesFailCleanly) {
    Bytes original = archive_test::WriteArchive(archive_test::FixtureFiles(), ArchiveWriterOptions());
    ASSERT_FALSE(original.empty());
    int opened = 0, refused = 0, filesRead = 0, filesRefused = 0;
    for (uint32_t seed = 1; seed <= 4000; ++seed) {
        Bytes damaged = archive_test::Mutate(original, seed);
        // An exact-size heap copy, so a sanitizer sees any read past its end.
        std::vector<unsigned char> exact(damaged.begin(), damaged.end());
        exact.shrink_to_fit();
        ArchiveMemorySource source(exact.data(), exact.size());
        ArchiveReader reader;
        if (reader.Open(&source, nullptr) != 0) {
            ++refused;
            continue;
        }
        ++opened;
        reader.Walk([&](const std::string&, const ArchiveEntry& entry) {
            if (entry.IsDirectory()) return 0;
            Bytes contents;
            if (reader.ReadFile(entry, &contents) == 0) {
                EXPECT_EQ(contents.size(), entry.size);
                ++filesRead;
            } else {
                ++filesRefused;
            }
            return 0;
        });
        for (const FixtureFile& f : archive_test::FixtureFiles()) {
            ArchiveEntry entry;
            Bytes contents;
            if (reader.Locate(f.path.c_str(), &entry) == 0 && !entry.IsDirectory()) reader.ReadFile(entry, &contents);
        }
    }
    // The variants must reach both outcomes at every level, or the loop proves nothing.
    EXPECT_GT(opened, 500);
    EXPECT_GT(refused, 500);
    EXPECT_GT(filesRead, 1000);
    EXPECT_GT(filesRefused, 100);
}

}  // namespace
