// The system report written to the log at start-up (OS, DirectX version, processor) and the record other
// modules read from it (the display device adds the video card's details).
#pragma once

#include <stdint.h>

constexpr int kOsWin32s = 0;
constexpr int kOsWindows95 = 1;
constexpr int kOsWindows98 = 2;
constexpr int kOsWindowsMe = 3;
constexpr int kOsWindowsNT351 = 0x104;
constexpr int kOsWindowsNT4 = 0x105;
constexpr int kOsWindows2000 = 0x106;
constexpr int kOsWindowsXP = 0x107;
constexpr int kOsWindowsVista = 0x108;

struct SystemInfoRecord {
    int osCode;
    char osDescription[256];
    int directXVersion;  // 0x70000 = 7.0
    int mmxUsable;
    int hasTimeStampCounter;
    int cpuMhz;
    uint64_t timeStampTicksPerSecond;
    char cpuVendor[13];
    char cpuName[49];
    // Filled by the display device.
    char videoDriverName[512];
    char videoDriverDescription[512];
    uint64_t videoMemoryFree;
    uint64_t videoMemoryTotal;
};

// Logs the system report and fills the record. Returns 0.
int ReportSystemInfo();
SystemInfoRecord* GetSystemInfoRecord();

// OS name and code for a version as GetVersionExA reports it: platform id, major and minor version and the
// service text. Writes the name after "Windows" into nameOut (size bytes) and returns the code, or
// previousCode for versions the report does not know.
int ClassifyOsVersion(unsigned long platformId, unsigned long major, unsigned long minor, const char* serviceText,
                      int previousCode, char* nameOut, int size);
