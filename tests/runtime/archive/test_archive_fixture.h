// Shared by the archive tests: a small archive written through the archive writer, and a deterministic generator of
// damaged variants of it (flipped bytes, truncations, huge or edge values in header, index and packed streams).
// Portable: used by the runtime tests under Wine and by the native sanitizer build.
#pragma once

#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "runtime/archive/archive_format.h"
#include "runtime/archive/archive_writer.h"

namespace archive_test {

using Bytes = std::vector<unsigned char>;

struct FixtureFile {
    std::string path;
    Bytes data;
};

// Compressible, incompressible and empty files in nested folders.
inline std::vector<FixtureFile> FixtureFiles() {
    std::vector<FixtureFile> files;
    std::mt19937 rng(99);
    auto text = [](size_t n, const char* word) {
        std::string s;
        while (s.size() < n) s += word;
        s.resize(n);
        return Bytes(s.begin(), s.end());
    };
    Bytes noise(3000);
    for (auto& b : noise) b = (unsigned char)rng();
    files.push_back({"readme.txt", text(5000, "falling blocks ")});
    files.push_back({"Image/title.png", noise});
    files.push_back({"Image/Sub/deep.bin", text(20000, "\x01\x02\x03\x04\x05\x06\x07")});
    files.push_back({"Image/empty.dat", {}});
    files.push_back({"Sound/se/hit.wav", text(7000, "RIFF....WAVEfmt ")});
    files.push_back({"ten.bin", Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}});
    return files;
}

inline Bytes WriteArchive(const std::vector<FixtureFile>& files, const ArchiveWriterOptions& options,
                          std::string* error = nullptr) {
    ArchiveMemorySink sink;
    ArchiveWriter writer(&sink, options);
    ArchiveTimes times;
    times.creation = 0x01D0000000000000ull;
    times.write = 0x01D1000000000000ull;
    for (const FixtureFile& f : files) {
        if (writer.AddFile(f.path.c_str(), f.data.data(), f.data.size(), times) != 0) {
            if (error) *error = writer.Error();
            return {};
        }
    }
    writer.AddDirectory("EmptyFolder", times);
    if (writer.Finish() != 0) {
        if (error) *error = writer.Error();
        return {};
    }
    return sink.bytes;
}

// A damaged copy of an archive scrambled with the built-in filler key. Some kinds change the descrambled header
// or index and scramble them again, so the damage reaches the fields instead of turning the magic into noise.
inline Bytes Mutate(const Bytes& original, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes bytes = original;
    unsigned char key[kArchiveKeySize];
    ArchiveMakeKey(nullptr, key);
    ArchiveScramble(bytes.data(), bytes.size(), 0, key);  // descrambled view of the whole file
    ArchiveHeader header;
    ArchiveDecodeHeader(bytes.data(), &header);
    static const uint32_t kEdgeValues[] = {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFu, 0x10000u, 0, 1, 3,
                                           kArchiveDirRecordSize, (uint32_t)original.size()};
    auto edge = [&]() {
        uint32_t v = kEdgeValues[rng() % (sizeof(kEdgeValues) / sizeof(kEdgeValues[0]))];
        return rng() % 4 == 0 ? v + (uint32_t)(rng() % 64) : v;
    };
    auto anywhere = [&](uint32_t from, uint32_t to) { return to > from ? from + (uint32_t)(rng() % (to - from)) : from; };
    uint32_t indexEnd = header.indexOffset + header.indexSize;
    if (indexEnd > bytes.size()) indexEnd = (uint32_t)bytes.size();
    int kind = (int)(rng() % 7);
    switch (kind) {
        case 0: {  // a few flipped bytes anywhere (in the scrambled file)
            ArchiveScramble(bytes.data(), bytes.size(), 0, key);
            int n = 1 + (int)(rng() % 4);
            for (int i = 0; i < n; ++i) bytes[rng() % bytes.size()] ^= (unsigned char)(1 + rng() % 255);
            return bytes;
        }
        case 1:  // truncated
            ArchiveScramble(bytes.data(), bytes.size(), 0, key);
            bytes.resize(rng() % bytes.size());
            return bytes;
        case 2: {  // a header field set to an edge value
            uint32_t field = 4 + 4 * (uint32_t)(rng() % 5);
            ArchivePutU32(bytes.data() + field, edge());
            if (rng() % 3 == 0) ArchivePutU16(bytes.data() + 2, (uint16_t)(rng() % 6));  // version
            break;
        }
        case 3:    // an aligned u32 of the index (offsets, counts, sizes, name lengths) set to an edge value
        case 4: {  // the same at any byte position
            uint32_t at = anywhere(header.indexOffset, indexEnd > 4 ? indexEnd - 4 : 0);
            if (kind == 3) at = header.indexOffset + ((at - header.indexOffset) & ~3u);
            if (at + 4 <= bytes.size()) ArchivePutU32(bytes.data() + at, edge());
            break;
        }
        case 5: {  // bytes of the data area changed (packed streams and their headers)
            int n = 1 + (int)(rng() % 8);
            for (int i = 0; i < n; ++i) {
                uint32_t at = anywhere(header.dataOffset, header.indexOffset);
                if (at < bytes.size()) bytes[at] ^= (unsigned char)(1 + rng() % 255);
            }
            break;
        }
        default: {  // several index bytes changed at random
            int n = 1 + (int)(rng() % 6);
            for (int i = 0; i < n; ++i) {
                uint32_t at = anywhere(header.indexOffset, indexEnd);
                if (at < bytes.size()) bytes[at] = (unsigned char)rng();
            }
            break;
        }
    }
    ArchiveScramble(bytes.data(), bytes.size(), 0, key);
    return bytes;
}

}  // namespace archive_test
