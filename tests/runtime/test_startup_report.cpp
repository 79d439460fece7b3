// The start-up system report: the OS name and code from version numbers, and what the report records about
// this machine's processor.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "runtime/startup.h"
#include "runtime/system_info.h"
#include "tests/runtime/test_window_support.h"

TEST(SystemReport, OsVersionsGetTheirNamesAndCodes) {
    const struct {
        unsigned long platform, major, minor;
        const char* service;
        const char* name;
        int code;
    } cases[] = {
        {VER_PLATFORM_WIN32s, 3, 10, "", "3.1", kOsWin32s},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0, "", "95", kOsWindows95},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0, "C", "95OSR2", kOsWindows95},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0, "B", "95", kOsWindows95},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, "", "98", kOsWindows98},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, "A", "98SE", kOsWindows98},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 90, "", "Me", kOsWindowsMe},
        {VER_PLATFORM_WIN32_NT, 3, 51, "", "NT 3.51", kOsWindowsNT351},
        {VER_PLATFORM_WIN32_NT, 4, 0, "Service Pack 6", "4.0", kOsWindowsNT4},
        {VER_PLATFORM_WIN32_NT, 5, 0, "", "2000", kOsWindows2000},
        {VER_PLATFORM_WIN32_NT, 5, 1, "Service Pack 2", "XP", kOsWindowsXP},
        {VER_PLATFORM_WIN32_NT, 6, 1, "", "Vista", kOsWindowsVista},
        // Versions the report does not know keep the bare word and the previous code.
        {VER_PLATFORM_WIN32_NT, 5, 2, "", "", 77},
        {VER_PLATFORM_WIN32_NT, 10, 0, "", "", 77},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 50, "", "", 77},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.platform) + " " + std::to_string(c.major) + "." + std::to_string(c.minor) +
                     " '" + c.service + "'");
        char name[32] = "unchanged";
        EXPECT_EQ(ClassifyOsVersion(c.platform, c.major, c.minor, c.service, 77, name, sizeof(name)), c.code);
        EXPECT_STREQ(name, c.name);
    }
}

TEST(SystemReport, RecordsDirectX7AndTheProcessor) {
    ScratchDirectory scratch;
    SetLogFileEnabledImpl(1);
    SetLogDirectory(scratch.path());
    OpenLogFile();
    ASSERT_EQ(ReportSystemInfo(), 0);
    const SystemInfoRecord* info = GetSystemInfoRecord();
    EXPECT_EQ(info->directXVersion, 0x70000);
    // Every processor that runs x86_64 code has CPUID, MMX and a time-stamp counter.
    EXPECT_EQ(IsMmxUsable(), 1);
    EXPECT_EQ(info->hasTimeStampCounter, 1);
    EXPECT_EQ(std::strlen(info->cpuVendor), 12u);
    EXPECT_GT(info->cpuMhz, 100);
    EXPECT_GT(info->timeStampTicksPerSecond, 100000000ull);
    EXPECT_NE(std::strstr(info->osDescription, "Windows"), nullptr);
    EXPECT_NE(std::strstr(info->osDescription, " ( Build "), nullptr);

    const std::string log = scratch.ReadFile("Log.txt");
    EXPECT_NE(log.find("システムの情報を出力します"), std::string::npos);
    // The banner is one line; the OS line follows it directly (time stamp, one tab), no blank line between.
    const std::string banner = "ＱＶライブラリ Ver2.23a\r\n";
    const size_t bannerAt = log.find(banner);
    ASSERT_NE(bannerAt, std::string::npos) << log;
    const size_t osAt = log.find(":\tＯＳ  Windows", bannerAt);
    ASSERT_NE(osAt, std::string::npos) << log;
    const std::string stamp = log.substr(bannerAt + banner.size(), osAt - bannerAt - banner.size());
    EXPECT_FALSE(stamp.empty());
    EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos) << "between banner and OS line: " << stamp;
    EXPECT_NE(log.find("ＭＭＸ命令を使用します"), std::string::npos);
    EXPECT_NE(log.find(std::string("ＣＰＵベンダ：") + info->cpuVendor), std::string::npos);
    SetLogDirectory("");
}
