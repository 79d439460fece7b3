// Output capture into a WAV file. The header carries an 18-byte format chunk (extra size 0), so
// it is 46 bytes; its sizes are only known at the end, so it is written over the reserved start.
#include "sound/capture.h"

#include <string.h>
#include <windows.h>

#include "runtime/log.h"

namespace {

struct Capture {
    int active;
    HANDLE file;
    DWORD samples;  // stereo frames written
};
Capture g_capture = {0, INVALID_HANDLE_VALUE, 0};

constexpr DWORD kHeaderBytes = 46;

void Put16(BYTE*& p, WORD value) {
    p[0] = (BYTE)value;
    p[1] = (BYTE)(value >> 8);
    p += 2;
}
void Put32(BYTE*& p, DWORD value) {
    Put16(p, (WORD)value);
    Put16(p, (WORD)(value >> 16));
}
void PutTag(BYTE*& p, const char* tag) {
    memcpy(p, tag, 4);
    p += 4;
}

}  // namespace

int StartWaveCapture(const char* path) {
    if (g_capture.active || path == nullptr) return -1;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    BYTE zero[kHeaderBytes] = {};
    DWORD written = 0;
    if (!WriteFile(file, zero, kHeaderBytes, &written, nullptr) || written != kHeaderBytes) {
        CloseHandle(file);
        return -1;
    }
    g_capture.file = file;
    g_capture.samples = 0;
    g_capture.active = 1;
    return 0;
}

int WriteWaveCaptureSamples(const int16_t* frames, int frameCount) {
    if (!g_capture.active || frames == nullptr || frameCount < 0) return -1;
    DWORD bytes = (DWORD)frameCount * 4;
    // The data size must still fit the header's 32-bit RIFF size.
    if ((unsigned long long)(g_capture.samples + (DWORD)frameCount) * 4 + 38 > 0xFFFFFFFFull) return -1;
    DWORD written = 0;
    if (!WriteFile(g_capture.file, frames, bytes, &written, nullptr) || written != bytes) return -1;
    g_capture.samples += (DWORD)frameCount;
    return 0;
}

int FinishWaveCapture() {
    if (!g_capture.active) return -1;
    DWORD dataSize = g_capture.samples * 4;
    BYTE header[kHeaderBytes];
    BYTE* p = header;
    PutTag(p, "RIFF");
    Put32(p, 38 + dataSize);
    PutTag(p, "WAVE");
    PutTag(p, "fmt ");
    Put32(p, 18);
    Put16(p, WAVE_FORMAT_PCM);
    Put16(p, 2);
    Put32(p, 44100);
    Put32(p, 176400);
    Put16(p, 4);
    Put16(p, 16);
    Put16(p, 0);
    PutTag(p, "data");
    Put32(p, dataSize);
    DWORD written = 0;
    int result = 0;
    if (SetFilePointer(g_capture.file, 0, nullptr, FILE_BEGIN) != 0 ||
        !WriteFile(g_capture.file, header, kHeaderBytes, &written, nullptr) || written != kHeaderBytes) {
        WriteLog("キャプチャファイルのヘッダの書き込みに失敗しました\n");
        result = -1;
    }
    CloseHandle(g_capture.file);
    g_capture.file = INVALID_HANDLE_VALUE;
    g_capture.active = 0;
    g_capture.samples = 0;
    return result;
}

int IsWaveCapturing() { return g_capture.active; }
