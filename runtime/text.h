// Small text, byte and arithmetic helpers shared by the whole runtime: Shift-JIS aware text
// handling, truncating float conversion, 64/128-bit arithmetic for the microsecond clock,
// number parsing and printing, time records and bounded printf-style formatting.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "runtime/log.h"  // KV_PRINTF_LIKE

// Shift-JIS lead byte as these helpers see it: 0x81-0x9F or 0xE0-0xFC.
inline bool IsShiftJisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// ---- Text and bytes ----
// Copies the source with its NUL; returns the destination's terminating NUL.
char* CopyText(char* destination, const char* source);
// Copies the source behind the destination's NUL; returns the destination.
char* AppendText(char* destination, const char* source);
// First occurrence of the byte outside double-byte characters, or null (also for byte 0).
const char* FindCharMb(const char* text, int byte);
char* FindCharMb(char* text, int byte);
// 0 when equal, 1 otherwise.
int TextsDiffer(const char* a, const char* b);
// a-z become A-Z in place; double-byte characters are left alone. Returns the text.
char* UpperCaseMb(char* text);
// 0 when the first count bytes are equal, else 1.
int BytesDiffer(const void* a, const void* b, size_t count);
int RangesDiffer(const void* a, const void* b, size_t count);
void FillBytes(void* pointer, int byte, size_t count);
// Copies count bytes; overlap allowed. Returns the destination.
void* MoveBytes(void* destination, const void* source, size_t count);
// Byte-wise copy correct for any overlap (from the end when the destination lies above).
void* MoveBytesBackward(void* destination, const void* source, size_t count);
// First decimal number in the text: skips to a digit or '-', reads at most 32 digits
// (wrapping in 32 bits), negated after '-'. No digit and no '-': -1; '-' without digit: 0.
int ParseDecimal(const char* text);
// Text of the value in the base (2..36; others give an empty text), lower-case letters
// above 9. INT_MIN is printed correctly. Returns the buffer, which needs 34 bytes at most.
char* IntToText(int value, char* buffer, int base);
// printf-style formatting into a buffer of bufferSize bytes; longer output is cut and the
// buffer always ends in NUL (when bufferSize > 0). FormatString returns 0; FormatStringV
// returns the number of characters written (without the NUL).
int FormatString(char* buffer, size_t bufferSize, const char* format, ...) KV_PRINTF_LIKE(3, 4);
int FormatStringV(char* buffer, size_t bufferSize, const char* format, va_list args);

// ---- Arithmetic ----
struct UInt128 {
    uint32_t word[4];  // lowest word first
};

void SinCosFloat(float angle, float* sine, float* cosine);
int AbsInt(int value);  // AbsInt(INT_MIN) stays INT_MIN, as the hardware gives
float AbsFloat(float value);
float SqrtFloat(float value);
// Truncate toward zero whatever the rounding mode; NaN and out-of-range give INT_MIN.
int FloatToInt(float value);
int DoubleToInt(double value);
void RectToIntRect(double left, double top, double right, double bottom, RECT* out);
// Full unsigned 128-bit product.
void Multiply64x64(uint64_t a, uint64_t b, UInt128* product);
// Unsigned quotient (its low 64 bits). A zero divisor gives -1 and leaves *quotient alone.
int Divide128By64(const UInt128* dividend, uint64_t divisor, uint64_t* quotient);

// ---- Time ----
struct DateTimeRecord {
    int year, month, day, hour, minute, second;
};

// timeGetTime().
unsigned int GetMillisecondCounter();
// Microseconds from the best counter: the CPU time-stamp counter when allowed by the flag and
// the settings, else the performance counter, else timeGetTime() * 1000.
uint64_t GetHighResolutionCount(int allowCpuCounter);
// Sources for GetHighResolutionCount, filled by start-up (performance counter probe and system
// report). frequency 0 means "no such counter".
void SetPerformanceCounterFrequency(uint64_t frequency);
uint64_t GetPerformanceCounterFrequency();
void SetTimeStampCounterFrequency(uint64_t ticksPerSecond);
void SetUseCpuCounter(int flag);
// The microsecond value of a counter reading: count * 1000000 / frequency without overflow.
uint64_t CounterToMicroseconds(uint64_t count, uint64_t frequency);
// Local time now. Returns 0.
int GetLocalDateTime(DateTimeRecord* out);
// File time (UTC) converted to local time. Returns 0, or -1 when the time cannot be converted.
int FileTimeToDateTime(const FILETIME* fileTime, DateTimeRecord* out);
