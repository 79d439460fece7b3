// Text, byte, arithmetic and time helpers the runtime shares. Plain loops without allocation:
// they run on every file path and log line. The 128-bit helpers are portable C++ so both
// targets compute the microsecond clock the same way.
#include "runtime/text.h"

#include <limits.h>
#include <math.h>
#include <mmsystem.h>
#include <stdio.h>
#include <string.h>
#include <x86intrin.h>

namespace {

uint64_t g_perfFrequency = 0;
uint64_t g_tscFrequency = 0;
int g_useCpuCounter = 0;

}  // namespace

// ---- Text and bytes ----

char* CopyText(char* destination, const char* source) {
    while ((*destination = *source++) != '\0') ++destination;
    return destination;
}

char* AppendText(char* destination, const char* source) {
    CopyText(destination + strlen(destination), source);
    return destination;
}

const char* FindCharMb(const char* text, int byte) {
    const unsigned char target = (unsigned char)byte;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        if (IsShiftJisLeadByte(*p)) {
            if (p[1] == 0) break;  // a lone lead byte at the end has no trail to skip
            ++p;
            continue;
        }
        if (*p == target) return reinterpret_cast<const char*>(p);
    }
    return nullptr;
}

char* FindCharMb(char* text, int byte) { return const_cast<char*>(FindCharMb(static_cast<const char*>(text), byte)); }

int TextsDiffer(const char* a, const char* b) { return strcmp(a, b) == 0 ? 0 : 1; }

char* UpperCaseMb(char* text) {
    for (unsigned char* p = reinterpret_cast<unsigned char*>(text); *p != 0; ++p) {
        if (IsShiftJisLeadByte(*p)) {
            if (p[1] == 0) break;
            ++p;
            continue;
        }
        if (*p >= 'a' && *p <= 'z') *p = (unsigned char)(*p - 'a' + 'A');
    }
    return text;
}

int BytesDiffer(const void* a, const void* b, size_t count) {
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (size_t i = 0; i < count; ++i) {
        if (x[i] != y[i]) return 1;
    }
    return 0;
}

int RangesDiffer(const void* a, const void* b, size_t count) { return memcmp(a, b, count) == 0 ? 0 : 1; }

void FillBytes(void* pointer, int byte, size_t count) { memset(pointer, byte, count); }

void* MoveBytes(void* destination, const void* source, size_t count) { return memmove(destination, source, count); }

void* MoveBytesBackward(void* destination, const void* source, size_t count) {
    unsigned char* d = static_cast<unsigned char*>(destination);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    if (d == s || count == 0) return destination;
    if (d > s) {
        for (size_t i = count; i > 0; --i) d[i - 1] = s[i - 1];
    } else {
        for (size_t i = 0; i < count; ++i) d[i] = s[i];
    }
    return destination;
}

int ParseDecimal(const char* text) {
    const char* p = text;
    while (*p != '\0' && *p != '-' && !(*p >= '0' && *p <= '9')) ++p;
    if (*p == '\0') return -1;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    uint32_t value = 0;  // wraps in 32 bits by design
    for (int digits = 0; digits < 32 && *p >= '0' && *p <= '9'; ++digits, ++p) value = value * 10u + (uint32_t)(*p - '0');
    if (negative) value = 0u - value;
    return (int)value;
}

char* IntToText(int value, char* buffer, int base) {
    if (base < 2 || base > 36) {
        buffer[0] = '\0';
        return buffer;
    }
    char* p = buffer;
    // Work on the unsigned magnitude so INT_MIN needs no negation of a signed value.
    uint32_t magnitude = (uint32_t)value;
    if (value < 0) {
        *p++ = '-';
        magnitude = 0u - magnitude;
    }
    char digits[33];
    int count = 0;
    do {
        uint32_t d = magnitude % (uint32_t)base;
        digits[count++] = (char)(d < 10 ? '0' + d : 'a' + (d - 10));
        magnitude /= (uint32_t)base;
    } while (magnitude != 0);
    while (count > 0) *p++ = digits[--count];
    *p = '\0';
    return buffer;
}

int FormatStringV(char* buffer, size_t bufferSize, const char* format, va_list args) {
    if (bufferSize == 0) return 0;
    int n = vsnprintf(buffer, bufferSize, format, args);
    if (n < 0) {
        buffer[0] = '\0';
        return 0;
    }
    if ((size_t)n >= bufferSize) n = (int)(bufferSize - 1);
    return n;
}

int FormatString(char* buffer, size_t bufferSize, const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatStringV(buffer, bufferSize, format, args);
    va_end(args);
    return 0;
}

// ---- Arithmetic ----

void SinCosFloat(float angle, float* sine, float* cosine) {
    double a = angle;
    *sine = (float)sin(a);
    *cosine = (float)cos(a);
}

int AbsInt(int value) { return value < 0 ? (int)(0u - (uint32_t)value) : value; }

float AbsFloat(float value) { return fabsf(value); }

float SqrtFloat(float value) { return sqrtf(value); }

int DoubleToInt(double value) {
    // C++ conversion truncates toward zero regardless of the rounding mode; values it cannot
    // represent (and NaN) get the hardware's "integer indefinite" instead of undefined behaviour.
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT_MIN;
    return (int)value;
}

int FloatToInt(float value) { return DoubleToInt((double)value); }

void RectToIntRect(double left, double top, double right, double bottom, RECT* out) {
    out->left = DoubleToInt(left);
    out->top = DoubleToInt(top);
    out->right = DoubleToInt(right);
    out->bottom = DoubleToInt(bottom);
}

void Multiply64x64(uint64_t a, uint64_t b, UInt128* product) {
    uint64_t aLow = (uint32_t)a, aHigh = a >> 32;
    uint64_t bLow = (uint32_t)b, bHigh = b >> 32;
    uint64_t ll = aLow * bLow;
    uint64_t lh = aLow * bHigh;
    uint64_t hl = aHigh * bLow;
    uint64_t hh = aHigh * bHigh;
    uint64_t middle = (ll >> 32) + (uint32_t)lh + (uint32_t)hl;  // at most 3 * (2^32 - 1)
    uint64_t high = hh + (lh >> 32) + (hl >> 32) + (middle >> 32);
    product->word[0] = (uint32_t)ll;
    product->word[1] = (uint32_t)middle;
    product->word[2] = (uint32_t)high;
    product->word[3] = (uint32_t)(high >> 32);
}

int Divide128By64(const UInt128* dividend, uint64_t divisor, uint64_t* quotient) {
    if (divisor == 0) return -1;
    uint64_t high = ((uint64_t)dividend->word[3] << 32) | dividend->word[2];
    uint64_t low = ((uint64_t)dividend->word[1] << 32) | dividend->word[0];
    if (high == 0) {
        *quotient = low / divisor;
        return 0;
    }
    // Shift-and-subtract over all 128 bits; the remainder stays below the divisor, so one extra
    // bit (carried out of the 64-bit shift) is enough to know it can be subtracted.
    uint64_t remainder = 0;
    uint64_t q = 0;
    for (int bit = 127; bit >= 0; --bit) {
        uint64_t next = bit >= 64 ? (high >> (bit - 64)) & 1 : (low >> bit) & 1;
        bool carry = (remainder >> 63) != 0;
        remainder = (remainder << 1) | next;
        q <<= 1;  // bits above 64 of the quotient fall off: only its low 64 bits are kept
        if (carry || remainder >= divisor) {
            remainder -= divisor;
            q |= 1;
        }
    }
    *quotient = q;
    return 0;
}

// ---- Time ----

unsigned int GetMillisecondCounter() { return timeGetTime(); }

void SetPerformanceCounterFrequency(uint64_t frequency) { g_perfFrequency = frequency; }

uint64_t GetPerformanceCounterFrequency() { return g_perfFrequency; }

void SetTimeStampCounterFrequency(uint64_t ticksPerSecond) { g_tscFrequency = ticksPerSecond; }

void SetUseCpuCounter(int flag) { g_useCpuCounter = flag; }

uint64_t CounterToMicroseconds(uint64_t count, uint64_t frequency) {
    UInt128 product;
    Multiply64x64(count, 1000000u, &product);
    uint64_t result = 0;
    if (Divide128By64(&product, frequency, &result) != 0) return 0;
    return result;
}

uint64_t GetHighResolutionCount(int allowCpuCounter) {
    if (g_useCpuCounter == 1 && allowCpuCounter == 1 && g_tscFrequency != 0) {
        return CounterToMicroseconds(__rdtsc(), g_tscFrequency);
    }
    if (g_perfFrequency == 0) return (uint64_t)timeGetTime() * 1000u;
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return CounterToMicroseconds((uint64_t)count.QuadPart, g_perfFrequency);
}

namespace {

// The record keeps the date and the time to the second; the day of the week and the milliseconds go.
void SystemTimeToDateTime(const SYSTEMTIME& t, DateTimeRecord* out) {
    out->year = t.wYear;
    out->month = t.wMonth;
    out->day = t.wDay;
    out->hour = t.wHour;
    out->minute = t.wMinute;
    out->second = t.wSecond;
}

}  // namespace

int GetLocalDateTime(DateTimeRecord* out) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    SystemTimeToDateTime(t, out);
    return 0;
}

int FileTimeToDateTime(const FILETIME* fileTime, DateTimeRecord* out) {
    FILETIME local;
    SYSTEMTIME t;
    if (!FileTimeToLocalFileTime(fileTime, &local) || !FileTimeToSystemTime(&local, &t)) return -1;
    SystemTimeToDateTime(t, out);
    return 0;
}
