// LZ streams of archive entries: hand-made streams (valid and malformed) against the unpacker, and packer round
// trips over data shaped like game files. Portable: also built natively with sanitizers by scripts/arcpack-host.sh.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "runtime/archive/lz.h"
#include "runtime/archive/lz_pack.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes MakeStream(uint32_t unpackedSize, unsigned char escape, const Bytes& body) {
    Bytes out(kLzHeaderSize);
    PackedDataHeader header{unpackedSize, (uint32_t)(kLzHeaderSize + body.size()), escape};
    LzWriteHeader(header, out.data());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Repeat(const std::string& s, size_t times) {
    Bytes out;
    for (size_t i = 0; i < times; ++i) out.insert(out.end(), s.begin(), s.end());
    return out;
}

Bytes Text(const char* s) { return Bytes(s, s + strlen(s)); }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Unpack(const Bytes& packed, int64_t* result, size_t capacity) {
    Bytes out(capacity + 16, 0xEE);  // guard bytes behind the capacity
    *result = ArchiveUnpack(packed.data(), packed.size(), out.data(), capacity);
    for (size_t i = capacity; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE) << "wrote past the output at " << i;
    out.resize(capacity);
    return out;
}

constexpr unsigned char E = 0xF0;  // escape of most hand-made streams

// A literal block of n bytes that never contains the escape E.
Bytes Literals(size_t n) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = (unsigned char)(i * 7 % 200);
    return out;
}

TEST(LzUnpack, HandMadeStreams) {
    Bytes lit300 = Literals(300);
    Bytes lit70000 = Literals(70000);
    struct Case {
        const char* name;
        uint32_t unpackedSize;
        unsigned char escape;
        Bytes body;
        Bytes expected;
    } cases[] = {
        {"literals only", 3, E, Text("ABC"), Text("ABC")},
        {"empty stream", 0, E, {}, {}},
        {"two escapes give one escape byte", 1, E, {E, E}, {E}},
        // length 10 (field 6), one-byte distance 1: the previous byte ten times
        {"length 10 at distance 1", 11, E, {'A', E, 6 << 3, 0x00}, Repeat("A", 11)},
        // code 48 with escape 0x30 equals the escape, so it travels as 49
        {"code equal to the escape goes one above", 11, 0x30, {'A', 0x30, 49, 0x00}, Repeat("A", 11)},
        // code 8 below the escape 0x30 travels unchanged: length 5
        {"code below the escape", 6, 0x30, {'B', 0x30, 8, 0x00}, Repeat("B", 6)},
        // code 0xE8 (length 33, one-byte distance) above escape 0x10 travels as 0xE9
        {"code above the escape", 34, 0x10, {'C', 0x10, 0xE9, 0x00}, Repeat("C", 34)},
        // length 300 = 4 + 296; 296 = 9 << 5 | 8: low bits 8 in the code, 9 in the extra byte; distance 2
        {"extended length repeats a two-byte pattern", 302, E, {'A', 'B', E, (8 << 3) | 4, 9, 0x01},
         Repeat("AB", 151)},
        {"u16 distance", 304, E, Concat({lit300, {E, 1, 0x2B, 0x01}}),
         Concat({lit300, Bytes(lit300.begin(), lit300.begin() + 4)})},
        {"three-byte distance", 70004, E, Concat({lit70000, {E, 2, 0x6F, 0x11, 0x01}}),
         Concat({lit70000, Bytes(lit70000.begin(), lit70000.begin() + 4)})},
        // "ABCD", copy 4 from 4 back, 'X', then code 3: the same distance 4 again
        {"code 3 reuses the previous distance", 13, E, {'A', 'B', 'C', 'D', E, 0, 3, 'X', E, 3},
         Text("ABCDABCDXBCDX")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes packed = MakeStream(c.unpackedSize, c.escape, c.body);
        EXPECT_EQ(ArchiveUnpack(packed.data(), packed.size(), nullptr, 0), (int64_t)c.unpackedSize);
        int64_t result;
        Bytes out = Unpack(packed, &result, c.unpackedSize);
        ASSERT_EQ(result, (int64_t)c.unpackedSize);
        EXPECT_TRUE(out == c.expected);
    }
}

TEST(LzUnpack, MalformedStreamsAreRefused) {
    struct Case {
        const char* name;
        uint32_t unpackedSize;
        Bytes body;
    } cases[] = {
        {"code 3 before any match", 8, {'A', 'B', 'C', 'D', E, 3}},
        {"distance reaches before the output", 6, {'A', E, 0, 0x01}},
        {"match runs past the declared size", 5, {'A', E, 6 << 3, 0x00}},
        {"stream ends after the escape", 2, {'A', E}},
        {"stream ends before the extra length byte", 40, {'A', E, 4}},
        {"stream ends inside a u16 distance", 5, {'A', E, 1, 0x00}},
        {"stream ends inside a three-byte distance", 5, {'A', E, 2, 0x00, 0x00}},
        {"stream ends short of the declared size", 10, {'A', 'B', 'C'}},
        {"literals run past the declared size", 2, {'A', 'B', 'C'}},
        {"escaped escape past the declared size", 1, {'A', E, E}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes packed = MakeStream(c.unpackedSize, E, c.body);
        int64_t result;
        Unpack(packed, &result, c.unpackedSize);
        EXPECT_EQ(result, -1);
    }
}

TEST(LzUnpack, HeaderChecks) {
    Bytes good = MakeStream(11, E, {'A', E, 6 << 3, 0x00});
    int64_t result;

    Bytes declaredLonger = good;
    declaredLonger[4] += 1;  // packed size one above what is there
    Unpack(declaredLonger, &result, 11);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(LzReadHeader(declaredLonger.data(), declaredLonger.size(), nullptr), -1);

    Bytes declaredBelowHeader = good;
    declaredBelowHeader[4] = 8;
    EXPECT_EQ(LzReadHeader(declaredBelowHeader.data(), declaredBelowHeader.size(), nullptr), -1);

    // Four stream bytes can never make a megabyte: refused before any output is wanted.
    Bytes impossible = MakeStream(1000000, E, {'A', E, 6 << 3, 0x00});
    EXPECT_EQ(ArchiveUnpack(impossible.data(), impossible.size(), nullptr, 0), -1);

    EXPECT_EQ(ArchiveUnpack(good.data(), 8, nullptr, 0), -1);  // shorter than the header
    Unpack(good, &result, 10);                                 // output one byte too small
    EXPECT_EQ(result, -1);

    // Trailing bytes behind the declared packed size are not part of the stream.
    Bytes trailing = good;
    trailing.push_back('Z');
    Unpack(trailing, &result, 11);
    EXPECT_EQ(result, 11);
}

struct Dataset {
    std::string name;
    Bytes data;
};

std::vector<Dataset> Datasets() {
    std::mt19937 rng(12345);
    std::vector<Dataset> sets;
    sets.push_back({"empty", {}});
    sets.push_back({"one byte", {0x42}});
    sets.push_back({"three bytes", {1, 2, 3}});
    Bytes random(100000);
    for (auto& b : random) b = (unsigned char)rng();
    sets.push_back({"random", random});
    std::string prose;
    const char* words[] = {"block ", "piece ", "field ", "garbage ", "skill ", "round ", "\r\n", "rotate "};
    while (prose.size() < 200000) prose += words[rng() % 8];
    sets.push_back({"text", Bytes(prose.begin(), prose.end())});
    sets.push_back({"zeros", Bytes(1 << 20, 0)});
    Bytes cycle(65536);
    for (size_t i = 0; i < cycle.size(); ++i) cycle[i] = (unsigned char)i;  // every byte value equally often
    sets.push_back({"all byte values", cycle});
    Bytes wave(120000);
    for (size_t i = 0; i + 1 < wave.size(); i += 2) {
        int v = (int)(8000 * ((i / 2) % 200 < 100 ? 1 : -1)) + (int)(rng() % 64);
        wave[i] = (unsigned char)v;
        wave[i + 1] = (unsigned char)(v >> 8);
    }
    sets.push_back({"16-bit wave", wave});
    // A match at the previous distance whose length (67) has low length bits 31: the packer must not send the
    // repeat code with the extra length byte (that code would be 255).
    Bytes block(300);
    for (auto& b : block) b = (unsigned char)rng();
    Bytes tricky = block;
    tricky.insert(tricky.end(), block.begin(), block.begin() + 40);
    tricky.push_back((unsigned char)(block[40] ^ 0x55));
    tricky.insert(tricky.end(), block.begin() + 41, block.begin() + 108);
    tricky.push_back((unsigned char)(block[108] ^ 0x55));
    sets.push_back({"repeat distance with long match", tricky});
    return sets;
}

TEST(LzPack, RoundTripsAtEveryLevel) {
    for (const Dataset& set : Datasets()) {
        for (int level : {1, 3, 6, 9}) {
            SCOPED_TRACE(set.name + " level " + std::to_string(level));
            Bytes packed;
            ASSERT_EQ(ArchivePack(set.data.data(), set.data.size(), &packed, level), 0);
            int64_t result;
            Bytes out = Unpack(packed, &result, set.data.size());
            ASSERT_EQ(result, (int64_t)set.data.size());
            EXPECT_TRUE(out == set.data);
        }
    }
}

TEST(LzPack, FindsTheRedundancy) {
    std::vector<Dataset> sets = Datasets();
    auto packedSize = [](const Bytes& data) {
        Bytes packed;
        ArchivePack(data.data(), data.size(), &packed);
        return packed.size();
    };
    for (const Dataset& set : sets) {
        SCOPED_TRACE(set.name);
        size_t size = packedSize(set.data);
        if (set.name == "zeros") {
            EXPECT_LT(size, 600u);  // 1 MB of zeros: a few hundred maximal matches
        }
        if (set.name == "text") {
            EXPECT_LT(size, set.data.size() / 3);
        // Incompressible data grows by little more than its escaped bytes.
        }
        if (set.name == "random") {
            EXPECT_LT(size, set.data.size() + set.data.size() / 128 + 64);
        }
    }

    // A block repeated with one changed byte every 20: each match has the previous match's distance, which costs no
    // distance field. With the repeat code a 1000-byte stretch takes about 50 * (2 + 1) bytes; sending the two-byte
    // distance each time would take about 50 * (4 + 1).
    std::mt19937 rng(7);
    Bytes base(1000);
    for (auto& b : base) b = (unsigned char)rng();
    Bytes data = base;
    for (int copy = 0; copy < 20; ++copy) {
        Bytes next(data.end() - 1000, data.end());
        for (size_t i = 10; i < next.size(); i += 20) next[i] ^= (unsigned char)(1 + rng() % 255);
        data.insert(data.end(), next.begin(), next.end());
    }
    size_t size = packedSize(data);
    EXPECT_LT(size, 1000u + 20 * 200);
}

}  // namespace
