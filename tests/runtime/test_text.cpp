// Text, byte, arithmetic and time helpers: the exact results other modules rely on, the
// Shift-JIS trail bytes that must not be mistaken for characters, and the limits (INT_MIN,
// out-of-range floats, 128-bit products, bounded formatting).
#include <windows.h>

#include <gtest/gtest.h>

#include <fenv.h>
#include <limits.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "runtime/text.h"

namespace {

[[maybe_unused]] uint64_t NextLcg64(uint64_t& state) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state;
}

[[maybe_unused]] uint64_t ToU64(uint32_t low, uint32_t high) { return ((uint64_t)high << 32) | low; }

}  // namespace

TEST(TextHelpers, FindCharSkipsTrailBytesOfDoubleByteCharacters) {
    struct Case {
        const char* name;
        const char* text;
        int byte;
        int index;  // -1: not found
    };
    const Case cases[] = {
        // 0x83 0x5C is one character whose trail byte equals a backslash.
        {"trail byte equals searched byte", "\x83\x5c" "a\\b", '\\', 3},
        {"trail byte only", "\x83\x5c" "ab", '\\', -1},
        {"lower-case trail byte", "\x82\x61" "a", 'a', 2},
        {"second lead range", "\xe0\x40@", '@', 2},
        {"plain text", "path\\file", '\\', 4},
        {"byte at start", "xyz", 'x', 0},
        {"absent", "abc", 'd', -1},
        {"lone lead byte at the end", "ab\x81", 'c', -1},
        {"search for the terminator", "abc", 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const char* found = FindCharMb(c.text, c.byte);
        if (c.index < 0) {
            EXPECT_EQ(found, nullptr);
        } else {
            EXPECT_EQ(found, c.text + c.index);
        }
    }
}

TEST(TextHelpers, UpperCaseLeavesDoubleByteCharactersAlone) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"abc", "ABC"},
        {"a\x82\x61z", "A\x82\x61Z"},              // trail byte 'a' of a double-byte character stays
        {"\x82\x81\x82\x82", "\x82\x81\x82\x82"},  // full-width letters stay
        {"Mixed-09_z{", "MIXED-09_Z{"},
        {"", ""},
    };
    for (const Case& c : cases) {
        char buffer[32];
        strcpy(buffer, c.in);
        EXPECT_EQ(UpperCaseMb(buffer), buffer);
        EXPECT_STREQ(buffer, c.out);
    }
}

TEST(TextHelpers, ParseDecimalFindsTheFirstNumber) {
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"x45y", 45},
        {"ab-7", -7},
        {"no digits", -1},
        {"", -1},
        {"-x", 0},
        {"--5", 0},
        {"HTTP/1.0 404 Not Found", 1},
        {" 200 OK", 200},
        {"0", 0},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"12345678901", -539222987},                                // wraps in 32 bits
        {"1111111111111111111111111111111111111111", -954437177},  // only 32 digits are read
    };
    for (const Case& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.value) << c.text;
}

TEST(TextHelpers, IntToTextInEveryBase) {
    struct Case {
        int value;
        int base;
        const char* text;
    };
    const Case cases[] = {
        {255, 16, "ff"},
        {-10, 10, "-10"},
        {0, 10, "0"},
        {0, 2, "0"},
        {INT_MAX, 10, "2147483647"},
        {INT_MIN, 10, "-2147483648"},
        {INT_MIN, 16, "-80000000"},
        {INT_MIN, 2, "-10000000000000000000000000000000"},
        {35, 36, "z"},
        {5, 2, "101"},
        {12, 1, ""},
        {12, 37, ""},
    };
    for (const Case& c : cases) {
        char buffer[40];
        memset(buffer, 'X', sizeof(buffer));
        EXPECT_EQ(IntToText(c.value, buffer, c.base), buffer);
        EXPECT_STREQ(buffer, c.text) << c.value << " base " << c.base;
    }
}

TEST(TextHelpers, FormatStringNeverWritesPastItsBuffer) {
    char buffer[16];
    memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(FormatString(buffer, 8, "%s-%d", "abcdefghij", 5), 0);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(buffer[8], '#');

    memset(buffer, '#', sizeof(buffer));
    FormatString(buffer, sizeof(buffer), "%d:%x:%.3f", -3, 0xab, 2.5);
    EXPECT_STREQ(buffer, "-3:ab:2.500");

    auto viaList = [](char* out, size_t size, const char* format, ...) {
        va_list args;
        va_start(args, format);
        int n = FormatStringV(out, size, format, args);
        va_end(args);
        return n;
    };
    EXPECT_EQ(viaList(buffer, sizeof(buffer), "%s", "four"), 4);
    EXPECT_EQ(viaList(buffer, 5, "%s", "truncated"), 4);
    EXPECT_STREQ(buffer, "trun");
    EXPECT_EQ(viaList(buffer, 1, "%s", "x"), 0);
    EXPECT_STREQ(buffer, "");
}

TEST(TextHelpers, CopyAppendCompare) {
    char buffer[32];
    char* end = CopyText(buffer, "abc");
    EXPECT_EQ(end, buffer + 3);
    EXPECT_EQ(*end, '\0');
    EXPECT_EQ(AppendText(buffer, "\x82\xa0" "d"), buffer);
    EXPECT_STREQ(buffer, "abc\x82\xa0" "d");

    struct Case {
        const char* a;
        const char* b;
        int differ;
    };
    const Case cases[] = {{"abc", "abc", 0}, {"abc", "abd", 1}, {"abc", "ab", 1}, {"", "", 0}, {"A", "a", 1}};
    for (const Case& c : cases) {
        EXPECT_EQ(TextsDiffer(c.a, c.b), c.differ) << c.a << " / " << c.b;
        size_t n = strlen(c.a) + 1;
        if (strlen(c.b) + 1 < n) n = strlen(c.b) + 1;
        EXPECT_EQ(BytesDiffer(c.a, c.b, n), c.differ) << c.a << " / " << c.b;
        EXPECT_EQ(RangesDiffer(c.a, c.b, n), c.differ) << c.a << " / " << c.b;
    }
    EXPECT_EQ(BytesDiffer("abX", "abY", 2), 0);
    EXPECT_EQ(RangesDiffer("abX", "abY", 0), 0);
}

TEST(TextHelpers, MovesAreCorrectForEveryOverlap) {
    struct Case {
        const char* name;
        int destination;
        int source;
        int count;
    };
    const Case cases[] = {
        {"destination above, overlapping", 4, 0, 10}, {"destination below, overlapping", 0, 4, 10},
        {"same place", 3, 3, 8},                      {"apart", 0, 16, 8},
        {"nothing to move", 2, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int backward = 0; backward < 2; ++backward) {
            unsigned char buffer[32], expected[32];
            for (int i = 0; i < 32; ++i) buffer[i] = expected[i] = (unsigned char)i;
            unsigned char temp[32];
            memcpy(temp, expected + c.source, (size_t)c.count);
            memcpy(expected + c.destination, temp, (size_t)c.count);
            void* result = backward ? MoveBytesBackward(buffer + c.destination, buffer + c.source, (size_t)c.count)
                                    : MoveBytes(buffer + c.destination, buffer + c.source, (size_t)c.count);
            EXPECT_EQ(result, buffer + c.destination);
            EXPECT_EQ(memcmp(buffer, expected, 32), 0) << (backward ? "backward" : "move");
        }
    }
    unsigned char fill[8] = {0};
    FillBytes(fill + 1, 0x5A, 6);
    const unsigned char filled[8] = {0, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0};
    EXPECT_EQ(memcmp(fill, filled, 8), 0);
}

TEST(ArithmeticHelpers, ConversionTruncatesTowardZeroInEveryRoundingMode) {
    struct Case {
        double value;
        int expected;
    };
    const Case cases[] = {
        {2.7, 2},
        {-2.7, -2},
        {-0.5, 0},
        {0.5, 0},
        {0.0, 0},
        {-1.0, -1},
        {1e-30, 0},
        {2147483647.0, INT_MAX},
        {2147483647.9, INT_MAX},
        {-2147483648.0, INT_MIN},
        {-2147483648.9, INT_MIN},
        {2147483648.0, INT_MIN},  // out of range: the hardware's "integer indefinite"
        {-3e9, INT_MIN},
        {1e300, INT_MIN},
        {NAN, INT_MIN},
        {INFINITY, INT_MIN},
    };
    const int modes[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO};
    const int savedMode = fegetround();
    for (int mode : modes) {
        ASSERT_EQ(fesetround(mode), 0);
        for (const Case& c : cases) {
            EXPECT_EQ(DoubleToInt(c.value), c.expected) << c.value << " mode " << mode;
            float f = (float)c.value;
            // Through float, large values may round to the next representable float.
            if (fabs(c.value) < 16777216.0 || isnan(c.value) || isinf(c.value) || fabs(c.value) >= 3e9) {
                EXPECT_EQ(FloatToInt(f), c.expected) << c.value << " mode " << mode;
            }
        }
        EXPECT_EQ(FloatToInt(2147483520.0f), 2147483520);  // largest float below 2^31
        EXPECT_EQ(FloatToInt(2147483648.0f), INT_MIN);
        RECT r;
        RectToIntRect(1.9, -1.9, 640.5, -0.5, &r);
        EXPECT_EQ(r.left, 1);
        EXPECT_EQ(r.top, -1);
        EXPECT_EQ(r.right, 640);
        EXPECT_EQ(r.bottom, 0);
    }
    fesetround(savedMode);
}

TEST(ArithmeticHelpers, SmallMathHelpers) {
    EXPECT_EQ(AbsInt(-5), 5);
    EXPECT_EQ(AbsInt(7), 7);
    EXPECT_EQ(AbsInt(INT_MIN), INT_MIN);
    EXPECT_EQ(AbsFloat(-2.5f), 2.5f);
    EXPECT_EQ(SqrtFloat(16.0f), 4.0f);
    const float angles[] = {0.0f, 0.5f, 1.5707964f, -2.0f, 3.1415927f, 100.0f};
    for (float a : angles) {
        float s = 9.0f, c = 9.0f;
        SinCosFloat(a, &s, &c);
        EXPECT_NEAR(s, sin((double)a), 1e-6) << a;
        EXPECT_NEAR(c, cos((double)a), 1e-6) << a;
    }
}

TEST(ArithmeticHelpers, WideMultiplyAndDivide) {
    struct Case {
        uint64_t a, b;
        uint32_t words[4];
    };
    const Case cases[] = {
        {0, 0xFFFFFFFFFFFFFFFFull, {0, 0, 0, 0}},
        {1, 1, {1, 0, 0, 0}},
        {0xFFFFFFFFull, 0xFFFFFFFFull, {1, 0xFFFFFFFEu, 0, 0}},
        {0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFFFFFFFFFFull, {1, 0, 0xFFFFFFFEu, 0xFFFFFFFFu}},
        {0x100000000ull, 0x100000000ull, {0, 0, 1, 0}},
        {0x123456789ABCDEF0ull, 0x0FEDCBA987654321ull, {0xE5618CF0, 0x2236D88F, 0xAD77D742, 0x0121FA00}},
    };
    for (const Case& c : cases) {
        UInt128 p;
        Multiply64x64(c.a, c.b, &p);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(p.word[i], c.words[i]) << std::hex << c.a << " * " << c.b << " word " << i;
        if (c.b != 0) {
            uint64_t q = 0;
            ASSERT_EQ(Divide128By64(&p, c.b, &q), 0);
            EXPECT_EQ(q, c.a);
        }
    }

    // A quotient wider than 64 bits keeps its low 64 bits.
    UInt128 wide = {{5, 0, 7, 3}};
    uint64_t q = 0;
    ASSERT_EQ(Divide128By64(&wide, 1, &q), 0);
    EXPECT_EQ(q, 5u);
    ASSERT_EQ(Divide128By64(&wide, 0x100000000ull, &q), 0);
    EXPECT_EQ(q, 0x0000000700000000ull);

    q = 99;
    EXPECT_EQ(Divide128By64(&wide, 0, &q), -1);
    EXPECT_EQ(q, 99u);

#if defined(__SIZEOF_INT128__)
    // Cross-check against the compiler's native 128-bit arithmetic where the target has it.
    uint64_t rng = 42;
    for (int i = 0; i < 2000; ++i) {
        uint64_t a = NextLcg64(rng) >> (NextLcg64(rng) % 64);
        uint64_t b = NextLcg64(rng) >> (NextLcg64(rng) % 64);
        uint64_t d = (NextLcg64(rng) >> (NextLcg64(rng) % 64)) | 1;
        UInt128 p;
        Multiply64x64(a, b, &p);
        ASSERT_EQ(Divide128By64(&p, d, &q), 0);
        unsigned __int128 full = (unsigned __int128)a * b;
        ASSERT_EQ(ToU64(p.word[0], p.word[1]), (uint64_t)full);
        ASSERT_EQ(ToU64(p.word[2], p.word[3]), (uint64_t)(full >> 64));
        ASSERT_EQ(q, (uint64_t)(full / d)) << a << " " << b << " " << d;
    }
#endif
}

TEST(TimeHelpers, CounterToMicrosecondsDoesNotOverflow) {
    struct Case {
        uint64_t count, frequency, micros;
    };
    const Case cases[] = {
        {1ull << 50, 3579545, 314537156773451ull},
        {(1ull << 44) + 12345, 3579545, 4914643078033ull},
        {(1ull << 63) + 7, 1000000007ull, 9223371972291172ull},
        {1000, 1000, 1000000},
        {0, 10000000, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(CounterToMicroseconds(c.count, c.frequency), c.micros) << c.count;
}

TEST(TimeHelpers, HighResolutionCountUsesTheConfiguredSource) {
    const uint64_t saved = GetPerformanceCounterFrequency();
    LARGE_INTEGER frequency;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));

    SetPerformanceCounterFrequency((uint64_t)frequency.QuadPart);
    uint64_t a = GetHighResolutionCount(1);
    Sleep(30);
    uint64_t b = GetHighResolutionCount(1);
    EXPECT_GE(b - a, 25000u);

    // Without a performance counter the millisecond clock is used, in microseconds.
    SetPerformanceCounterFrequency(0);
    uint64_t before = (uint64_t)timeGetTime() * 1000;
    uint64_t viaClock = GetHighResolutionCount(1);
    uint64_t after = (uint64_t)timeGetTime() * 1000;
    EXPECT_EQ(viaClock % 1000, 0u);
    EXPECT_GE(viaClock, before);
    EXPECT_LE(viaClock, after);

    SetPerformanceCounterFrequency(saved);
}

TEST(TimeHelpers, DateTimeRecords) {
    DateTimeRecord now;
    EXPECT_EQ(GetLocalDateTime(&now), 0);
    SYSTEMTIME st;
    GetLocalTime(&st);
    EXPECT_EQ(now.year, st.wYear);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);

    // A local time turned into a file time (UTC) comes back unchanged.
    SYSTEMTIME local = {};
    local.wYear = 2003;
    local.wMonth = 7;
    local.wDay = 19;
    local.wHour = 23;
    local.wMinute = 4;
    local.wSecond = 59;
    FILETIME localFile, utcFile;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &localFile));
    ASSERT_TRUE(LocalFileTimeToFileTime(&localFile, &utcFile));
    DateTimeRecord r;
    ASSERT_EQ(FileTimeToDateTime(&utcFile, &r), 0);
    EXPECT_EQ(r.year, 2003);
    EXPECT_EQ(r.month, 7);
    EXPECT_EQ(r.day, 19);
    EXPECT_EQ(r.hour, 23);
    EXPECT_EQ(r.minute, 4);
    EXPECT_EQ(r.second, 59);
}
