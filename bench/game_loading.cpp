// Resource loading speed of the game's table: every entry, then the common group, one battle group, one
// conversation group and the extra scene, each from the folder tree and from the archive tree in the same run,
// through the Loader (with its loading screen after every image) and as bare LoadGraphFromFile calls of the same
// files (no loading screen). Prints totals, the per-image average, the archive/folder ratio and the ratio of the
// load with the loading screen to the bare loads. Short mode measures the extra scene's group only.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "game/shell/loader.h"
#include "runtime/runtime.h"

#include "bench/bench_timing.h"

namespace {

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

struct Group {
    const char* name;
    std::function<void(Loader&, bool)> run;
};

struct Figures {
    double screenMs = 0, bareMs = 0;
    int images = 0;
};

const char* PathOf(int entry) { return entry < 3 ? kLoadingImagePaths[entry] : kImagePaths[entry]; }

// One group on one tree: through the Loader, then the same image entries as bare loads.
Figures Measure(const Group& group) {
    Figures f;
    auto loader = std::make_shared<Loader>();
    loader->loadCommon(false);  // the loading screen's own images
    std::vector<int> before(kImageEntryCount);
    for (int i = 0; i < kImageEntryCount; ++i) before[i] = loader->image(i);
    double t = Now();
    group.run(*loader, false);
    f.screenMs = Now() - t;
    std::vector<int> entries;
    for (int i = 0; i < kImageEntryCount; ++i) {
        // Entries the group (re)loaded hold a new handle.
        if (loader->image(i) != -1 && loader->image(i) != before[i]) entries.push_back(i);
    }
    ReleaseAllGraphs(0);
    ReleaseAllSounds(0);
    f.images = static_cast<int>(entries.size());
    t = Now();
    for (int entry : entries) LoadGraphFromFile(PathOf(entry), 0);
    f.bareMs = Now() - t;
    ReleaseAllGraphs(0);
    return f;
}

bool StartOn(const std::string& tree) {
    if (!SetCurrentDirectoryA(tree.c_str())) return false;
    ChangeWindowMode(1);
    SetLogFileEnabled(0);
    if (StartUpLibrary() == -1) return false;
    ArchiveSetExtension("Qzm");
    SetTargetScreen(-2);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    const char* build = getenv("KAVORIN_BUILD_DIR_WIN");
    if (build == nullptr) {
        fprintf(stderr, "game_loading: KAVORIN_BUILD_DIR_WIN is not set (run through scripts/wine-run.sh)\n");
        return 1;
    }
    const std::string trees[2] = {std::string(build) + "\\..\\resources\\folders",
                                  std::string(build) + "\\..\\resources\\archives"};
    const Group groups[] = {
        {"every entry",
         [](Loader& l, bool release) {
             for (int i = 3; i < kImageEntryCount; ++i) l.loadImage(i, release);
             for (int s = 0; s < kSoundEntryCount; ++s) l.loadSound(s, release);
         }},
        {"common group", [](Loader& l, bool release) { l.loadCommon(release); }},
        {"battle Kessa-Quen", [](Loader& l, bool release) { l.loadBattle(release, 0, 5); }},
        {"conversation Vellis-Quen 1",
         [](Loader& l, bool release) { l.loadCharacterSet(1, release, 3, 5, false); }},
        {"extra scene", [](Loader& l, bool release) { l.loadExtraScene(release); }},
    };
    constexpr int kGroups = sizeof(groups) / sizeof(groups[0]);
    auto measured = [](int g) { return !ShortRun() || g == kGroups - 1; };
    Figures figures[2][kGroups];
    for (int t = 0; t < 2; ++t) {
        if (!StartOn(trees[t])) {
            fprintf(stderr, "game_loading: cannot start on %s\n", trees[t].c_str());
            return 1;
        }
        for (int g = 0; g < kGroups; ++g) {
            if (measured(g)) figures[t][g] = Measure(groups[g]);
        }
        ShutDownLibrary();
    }
    printf("%-28s %6s %12s %12s %12s %12s %9s\n", "group", "images", "folder ms", "archive ms", "ms/img fold",
           "ms/img arch", "arch/fold");
    for (int g = 0; g < kGroups; ++g) {
        if (!measured(g)) continue;
        const Figures& f = figures[0][g];
        const Figures& a = figures[1][g];
        const int n = f.images > 0 ? f.images : 1;
        printf("%-28s %6d %12.1f %12.1f %12.2f %12.2f %9.2f   (loading screen)\n", groups[g].name, f.images,
               f.screenMs, a.screenMs, f.screenMs / n, a.screenMs / n, a.screenMs / f.screenMs);
        printf("%-28s %6d %12.1f %12.1f %12.2f %12.2f %9.2f   (bare loads, no screen)\n", "", f.images,
               f.bareMs, a.bareMs, f.bareMs / n, a.bareMs / n, a.bareMs / f.bareMs);
        printf("%-28s ratio loading screen / bare loads: %.2f folders, %.2f archives (goal <= 1.6)\n", "",
               f.screenMs / f.bareMs, a.screenMs / a.bareMs);
    }
    return 0;
}
