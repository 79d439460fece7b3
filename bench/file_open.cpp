// File opens through the runtime's file layer as the game makes them when it reads its resources from folders (the
// archive-aware layer, archive extension "Qzm", paths relative to the current directory), against CreateFileA +
// CloseHandle of the same paths in the same run: existing files in a folder tree nine levels deep, and the "_a"
// companions that the image loader asks for and that do not exist. Rounds alternate which of the two goes first;
// figures are medians over the rounds. Short mode: every case once.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime/archive/archive.h"
#include "runtime/file.h"

#include "bench/bench_timing.h"

namespace {

constexpr int kFiles = 24;
constexpr const char kDeepFolder[] = "Lv1\\Lv2\\Lv3\\Lv4\\Lv5\\Lv6\\Lv7\\Lv8\\Lv9";

// The folder the tree lies in: the benchmark fixtures' folder when given, else the temporary folder.
std::string BaseFolder() {
    const char* fixtures = getenv("KAVORIN_FIXTURES");
    if (fixtures && fixtures[0]) return std::string(fixtures) + "\\file_open";
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return std::string(temp) + "kavorin_file_open";
}

// Makes the tree when it is missing; true when it had to be made. Sets *ok to false when it cannot be.
bool MakeTree(const std::string& base, bool* ok) {
    *ok = true;
    const std::string folder = base + "\\" + kDeepFolder;
    if (GetFileAttributesA((folder + "\\image23.png").c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    CreateDirectoryA(base.c_str(), nullptr);
    for (size_t i = base.size() + 1; i <= folder.size(); ++i)
        if (i == folder.size() || folder[i] == '\\') CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
    std::vector<char> bytes(4096, 'x');
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        snprintf(name, sizeof(name), "\\image%02d.png", i);
        HANDLE file = CreateFileA((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        if (file == INVALID_HANDLE_VALUE || !WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr))
            *ok = false;
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    return true;
}

// Microseconds per open+close of every path through the layer and through the system. Each round times passes of
// the two in turn (which goes first alternates) until it has lasted 50 ms, so both meet the same load; the figures
// are the medians over the rounds of each round's totals.
struct Pair {
    double layerUs, systemUs;
};

Pair Measure(const std::vector<std::string>& paths, bool exist, bool* ok) {
    auto layer = [&] {
        for (const std::string& p : paths) {
            FileHandle f = FileLayerOpen(p.c_str(), 0, 0);
            if ((f != 0) != exist) *ok = false;
            if (f) FileLayerClose(f);
        }
    };
    auto system = [&] {
        for (const std::string& p : paths) {
            HANDLE h = CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if ((h != INVALID_HANDLE_VALUE) != exist) *ok = false;
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
    };
    auto timed = [](const std::function<void()>& body) {
        const double start = BenchSeconds();
        body();
        return BenchSeconds() - start;
    };
    std::vector<double> layerTimes, systemTimes;
    for (int round = 0; round < Repeats(9, 1); ++round) {
        double l = 0, s = 0;
        int passes = 0;
        const double start = BenchSeconds();
        do {
            if (passes % 2 == 0) {
                l += timed(layer);
                s += timed(system);
            } else {
                s += timed(system);
                l += timed(layer);
            }
            ++passes;
        } while (!ShortRun() && BenchSeconds() - start < 0.05);
        layerTimes.push_back(l * 1e6 / (double)(paths.size() * passes));
        systemTimes.push_back(s * 1e6 / (double)(paths.size() * passes));
    }
    return {Median(layerTimes), Median(systemTimes)};
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    const std::string base = BaseFolder();
    bool ok = true;
    if (MakeTree(base, &ok)) {
        // The layer trusts what it knows of a folder only once the folder has kept still for two seconds.
        Sleep(2500);
    }
    if (!ok || !SetCurrentDirectoryA(base.c_str())) {
        fprintf(stderr, "bench_file_open: cannot make the tree in %s\n", base.c_str());
        return 1;
    }
    SetDirectDiskFileAccess(0);
    SelectFileBackEnd(nullptr);
    ArchiveTableClear();
    ArchiveSetExtensionImpl("Qzm");

    std::vector<std::string> files, companions;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        snprintf(name, sizeof(name), "\\image%02d", i);
        files.push_back(std::string(kDeepFolder) + name + ".png");
        companions.push_back(std::string(kDeepFolder) + name + "_a.png");
    }

    // The first open lists every folder above the file once.
    const ArchiveProbeCounts before = ArchiveGetProbeCounts();
    const double t = BenchSeconds();
    FileHandle first = FileLayerOpen(files[0].c_str(), 0, 0);
    const double firstUs = (BenchSeconds() - t) * 1e6;
    if (first == 0) ok = false;
    FileLayerClose(first);
    const ArchiveProbeCounts afterFirst = ArchiveGetProbeCounts();

    const Pair present = Measure(files, true, &ok);
    const Pair missing = Measure(companions, false, &ok);
    // Where the layer's time goes: the archive look-up alone, and the disk back end's open and close alone.
    std::vector<double> lookupTimes, diskTimes, sizedTimes;
    for (int round = 0; round < Repeats(5, 1); ++round) {
        lookupTimes.push_back(SecondsPerRun([&] {
            for (const std::string& p : files)
                if (ArchiveFindForPath(p.c_str(), nullptr, nullptr, nullptr) == 0) ok = false;
        }, 1) * 1e6 / kFiles);
        diskTimes.push_back(SecondsPerRun([&] {
            for (const std::string& p : files) {
                FileHandle f = Win32FileOpen(p.c_str(), 0, 0);
                if (f == 0) ok = false;
                Win32FileClose(f);
            }
        }, 1) * 1e6 / kFiles);
        // The back end reads the size at open, which has the system fetch the file's descriptor under Wine.
        sizedTimes.push_back(SecondsPerRun([&] {
            for (const std::string& p : files) {
                HANDLE h = CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
                if (h == INVALID_HANDLE_VALUE) ok = false;
                GetFileSize(h, nullptr);
                CloseHandle(h);
            }
        }, 1) * 1e6 / kFiles);
    }
    const ArchiveProbeCounts after = ArchiveGetProbeCounts();
    ArchiveReleaseAll();
    if (!ok) {
        fprintf(stderr, "bench_file_open: an open gave another result than the system's\n");
        return 1;
    }

    printf("tree %s, files %d folders deep below it\n", base.c_str(), 9);
    printf("first open: %.0f us, %d look-ups by name\n", firstUs, afterFirst.nameLookups - before.nameLookups);
    printf("later opens: %d look-ups by name, %d folder time checks in all\n",
           after.nameLookups - afterFirst.nameLookups, after.folderChecks - afterFirst.folderChecks);
    printf("existing file: layer %.1f us, CreateFileA+CloseHandle %.1f us per open+close\n", present.layerUs,
           present.systemUs);
    printf("of which: archive look-up %.1f us, disk back end open+close %.1f us (CreateFileA+GetFileSize+CloseHandle "
           "%.1f us)\n", Median(lookupTimes), Median(diskTimes), Median(sizedTimes));
    printf("missing _a companion: layer %.1f us, CreateFileA %.1f us per open\n", missing.layerUs, missing.systemUs);
    printf("missing companion ratio: %.2fx\n", missing.layerUs / missing.systemUs);
    printf("open+close vs CreateFileA+CloseHandle: %.2fx\n", present.layerUs / present.systemUs);
    return 0;
}
