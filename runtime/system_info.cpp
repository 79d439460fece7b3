// The start-up system report: the OS from its version numbers, the DirectX version (recorded as 7.0 without a
// probe), and the processor through CPUID and the time-stamp counter. The compiler's intrinsics serve both
// i686 and x86_64.
#include "runtime/system_info.h"

#include <cpuid.h>
#include <windows.h>
#include <x86intrin.h>

#include <cstdio>
#include <cstring>

#include <mmsystem.h>

#include "runtime/log.h"
#include "runtime/startup.h"
#include "runtime/text.h"

namespace {

SystemInfoRecord g_info = {};

struct CpuReport {
    int hasCpuid;
    char vendor[13];
    int hasTimeStampCounter;
    int hasMmx;
    int hasBrand;
    char brand[49];
};

CpuReport ReadCpu() {
    CpuReport report = {};
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    // __get_cpuid_max performs the EFLAGS ID-bit test on processors that may lack CPUID.
    const unsigned int maxLeaf = __get_cpuid_max(0, nullptr);
    if (maxLeaf == 0) return report;
    report.hasCpuid = 1;
    __cpuid(0, eax, ebx, ecx, edx);
    std::memcpy(report.vendor + 0, &ebx, 4);
    std::memcpy(report.vendor + 4, &edx, 4);
    std::memcpy(report.vendor + 8, &ecx, 4);
    report.vendor[12] = '\0';
    if (maxLeaf >= 1) {
        __cpuid(1, eax, ebx, ecx, edx);
        report.hasTimeStampCounter = (edx >> 4) & 1;
        report.hasMmx = (edx >> 23) & 1;
    }
    if (__get_cpuid_max(0x80000000u, nullptr) >= 0x80000004u) {
        unsigned int words[12];
        for (unsigned int leaf = 0; leaf < 3; ++leaf) {
            __cpuid(0x80000002u + leaf, words[leaf * 4 + 0], words[leaf * 4 + 1], words[leaf * 4 + 2],
                    words[leaf * 4 + 3]);
        }
        std::memcpy(report.brand, words, 48);
        report.brand[48] = '\0';
        report.hasBrand = 1;
    }
    return report;
}

// Ticks of the time-stamp counter during 100 ms of the multimedia timer.
uint64_t MeasureTimeStampTicks() {
    TIMECAPS caps;
    UINT period = 0;
    if (timeGetDevCaps(&caps, sizeof(caps)) == TIMERR_NOERROR && timeBeginPeriod(caps.wPeriodMin) == TIMERR_NOERROR) {
        period = caps.wPeriodMin;
    }
    const DWORD start = timeGetTime();
    const uint64_t first = __rdtsc();
    while (timeGetTime() - start < 100) {
    }
    const uint64_t last = __rdtsc();
    // The finer timer period is the window's to keep (it is set again when the window is made); the report
    // gives back its own.
    if (period != 0) timeEndPeriod(period);
    return last - first;
}

}  // namespace

int ClassifyOsVersion(unsigned long platformId, unsigned long major, unsigned long minor, const char* serviceText,
                      int previousCode, char* nameOut, int size) {
    const char* service = serviceText ? serviceText : "";
    const char* name = "";
    const char* suffix = "";
    int code = previousCode;
    if (platformId == VER_PLATFORM_WIN32s) {
        name = "3.1";
        code = kOsWin32s;
    } else if (platformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (minor == 0) {
            name = "95";
            code = kOsWindows95;
            if (service[0] == 'C') suffix = "OSR2";
        } else if (minor == 10) {
            name = "98";
            code = kOsWindows98;
            if (service[0] == 'A') suffix = "SE";
        } else if (minor == 90) {
            name = "Me";
            code = kOsWindowsMe;
        }
    } else if (platformId == VER_PLATFORM_WIN32_NT) {
        if (major == 3) {
            name = "NT 3.51";
            code = kOsWindowsNT351;
        } else if (major == 4) {
            name = "4.0";
            code = kOsWindowsNT4;
        } else if (major == 5 && minor == 0) {
            name = "2000";
            code = kOsWindows2000;
        } else if (major == 5 && minor == 1) {
            name = "XP";
            code = kOsWindowsXP;
        } else if (major == 6) {
            name = "Vista";
            code = kOsWindowsVista;
        }
    }
    std::snprintf(nameOut, static_cast<size_t>(size), "%s%s", name, suffix);
    return code;
}

int ReportSystemInfo() {
    WriteLog("システムの情報を出力します\n");
    LogIndentIn();
    WriteLogPrintf("ＱＶライブラリ Ver%s\n", "2.23a");
    WriteLog("ＯＳ  ");

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    char name[64] = "";
    int build = 0;
    if (GetVersionExA(&version)) {
        g_info.osCode = ClassifyOsVersion(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion,
                                          version.szCSDVersion, g_info.osCode, name, sizeof(name));
        build = version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? LOWORD(version.dwBuildNumber)
                                                                   : static_cast<int>(version.dwBuildNumber);
    }
    char windowsName[80];
    std::snprintf(windowsName, sizeof(windowsName), "Windows%s", name);
    std::snprintf(g_info.osDescription, sizeof(g_info.osDescription), "%s ( Build %d %s )", windowsName, build,
                  version.szCSDVersion);
    WriteLogFormat("%s", g_info.osDescription);

    g_info.directXVersion = 0x70000;

    const CpuReport cpu = ReadCpu();
    g_info.hasTimeStampCounter = cpu.hasTimeStampCounter;
    if (cpu.hasTimeStampCounter) {
        const uint64_t ticks = MeasureTimeStampTicks();
        g_info.cpuMhz = static_cast<int>(static_cast<double>(ticks) * 0.00001);
        g_info.timeStampTicksPerSecond = ticks * 10;
        SetTimeStampCounterFrequency(g_info.timeStampTicksPerSecond);
        WriteLogFormat("ＣＰＵ動作速度：大体%.2fGHz", g_info.cpuMhz * 0.001);
    }
    if (!cpu.hasCpuid) {
        g_info.mmxUsable = 0;
        WriteLog("ＣＰＵＩＤ命令は使えません\n");
    } else {
        g_info.mmxUsable = cpu.hasMmx;
        WriteLog(cpu.hasMmx ? "ＭＭＸ命令を使用します\n" : "ＭＭＸは使えません\n");
        std::memcpy(g_info.cpuVendor, cpu.vendor, sizeof(g_info.cpuVendor));
        WriteLog("ＣＰＵベンダ：");
        WriteLog(g_info.cpuVendor);
        WriteLog("\n");
        if (cpu.hasBrand) {
            std::memcpy(g_info.cpuName, cpu.brand, sizeof(g_info.cpuName));
            WriteLogFormat("ＣＰＵ名：%s", g_info.cpuName);
        }
    }
    LogIndentOut();
    return 0;
}

SystemInfoRecord* GetSystemInfoRecord() { return &g_info; }

int IsMmxUsable() { return g_info.mmxUsable; }
