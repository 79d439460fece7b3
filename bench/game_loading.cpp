// Resource loading speed of the game's table: every entry, then the common group, one battle group, one
// conversation group and the extra scene, each from the folder tree and from the archive tree in the same run,
// through the Loader (with its loading screen after every image) and as bare loads of the same entries (the same
// LoadGraphFromFile and LoadSoundHandleFromFile calls, no loading screen). The two trees are measured in turns
// within each round, by one runtime that changes its current folder between them, so both meet the same load on a
// busy machine; rounds alternate which tree and which of the two loads goes first, so neither always meets a warm
// file cache or a first-time decoder set-up; totals are medians over the rounds. Prints totals, the per-image
// average, the archive/folder ratio (the median of the rounds' own ratios) and the ratio of the load with the
// loading screen to the bare loads. Short mode measures the extra scene's group only, one round.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "game/shell/loader.h"
#include "runtime/runtime.h"

#include "bench/bench_game_trees.h"
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
    // The archive tree's time over the folder tree's, the median of the rounds' own ratios (both trees of a round
    // meet the same load); the archive tree's figures carry them.
    double screenRatio = 0, bareRatio = 0;
    int images = 0, sounds = 0;
};

const char* PathOf(int entry) { return entry < 3 ? kLoadingImagePaths[entry] : kImagePaths[entry]; }

// Entries whose handle changed, in the order they were loaded: a fresh load takes the next slot of its handle
// table, and nothing is released in between that would hand out a lower one.
std::vector<int> Reloaded(const std::vector<int>& before, const std::vector<int>& after) {
    std::vector<int> entries;
    for (size_t i = 0; i < after.size(); ++i) {
        if (after[i] != -1 && after[i] != before[i]) entries.push_back(static_cast<int>(i));
    }
    std::sort(entries.begin(), entries.end(), [&](int a, int b) { return (after[a] & 0xFFFF) < (after[b] & 0xFFFF); });
    return entries;
}

struct Round {
    double screenMs = 0, bareMs = 0;
    std::vector<int> images, sounds;
};

// One group through the Loader: the time, and the entries it (re)loaded.
void MeasureScreen(const Group& group, Round& round) {
    auto loader = std::make_shared<Loader>();
    loader->loadCommon(false);  // the loading screen's own images
    std::vector<int> imagesBefore(kImageEntryCount), soundsBefore(kSoundEntryCount);
    for (int i = 0; i < kImageEntryCount; ++i) imagesBefore[i] = loader->image(i);
    for (int s = 0; s < kSoundEntryCount; ++s) soundsBefore[s] = loader->sound(s);
    const double t = Now();
    group.run(*loader, false);
    round.screenMs = Now() - t;
    std::vector<int> imagesAfter(kImageEntryCount), soundsAfter(kSoundEntryCount);
    for (int i = 0; i < kImageEntryCount; ++i) imagesAfter[i] = loader->image(i);
    for (int s = 0; s < kSoundEntryCount; ++s) soundsAfter[s] = loader->sound(s);
    round.images = Reloaded(imagesBefore, imagesAfter);
    round.sounds = Reloaded(soundsBefore, soundsAfter);
    ReleaseAllGraphs(0);
    ReleaseAllSounds(0);
}

// The same entries as bare loads: images, then sounds (the order every group but two of the smaller ones loads in).
double MeasureBare(const Round& entries) {
    const double t = Now();
    for (int entry : entries.images) LoadGraphFromFile(PathOf(entry), 0);
    for (int entry : entries.sounds) LoadSoundHandleFromFile(kSoundPaths[entry], 3, -1);
    const double ms = Now() - t;
    ReleaseAllGraphs(0);
    ReleaseAllSounds(0);
    return ms;
}

// Both trees' figures for one group: medians over rounds in which the trees take turns (through the current
// folder, which the file layer resolves every path against); the first round learns the entries of each tree.
void Measure(const Group& group, const std::string trees[2], Figures out[2]) {
    const int rounds = Repeats(5, 1);
    Round learned[2];
    for (int t = 0; t < 2; ++t) {
        SetCurrentDirectoryA(trees[t].c_str());
        MeasureScreen(group, learned[t]);  // untimed warm-up (first-time set-up of decoders and the archive index)
    }
    std::vector<double> screen[2], bare[2];
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < 2; ++k) {
            const int t = (r + k) % 2;
            SetCurrentDirectoryA(trees[t].c_str());
            Round round;
            if (r % 2 == 0) {
                MeasureScreen(group, round);
                bare[t].push_back(MeasureBare(learned[t]));
            } else {
                bare[t].push_back(MeasureBare(learned[t]));
                MeasureScreen(group, round);
            }
            screen[t].push_back(round.screenMs);
        }
    }
    std::vector<double> screenRatios, bareRatios;
    for (int r = 0; r < rounds; ++r) {
        screenRatios.push_back(screen[1][r] / screen[0][r]);
        bareRatios.push_back(bare[1][r] / bare[0][r]);
    }
    out[1].screenRatio = Median(screenRatios);
    out[1].bareRatio = Median(bareRatios);
    for (int t = 0; t < 2; ++t) {
        out[t].screenMs = Median(screen[t]);
        out[t].bareMs = Median(bare[t]);
        out[t].images = static_cast<int>(learned[t].images.size());
        out[t].sounds = static_cast<int>(learned[t].sounds.size());
    }
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    const char* build = BenchBuildFolder("game_loading");
    if (build == nullptr) return 1;
    const std::string trees[2] = {BenchResourceTree(build, "folders"), BenchResourceTree(build, "archives")};
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
    if (!SetCurrentDirectoryA(trees[1].c_str()) || !StartRuntimeOnTree(trees[0])) {
        fprintf(stderr, "game_loading: cannot start on %s and %s\n", trees[0].c_str(), trees[1].c_str());
        return 1;
    }
    for (int g = 0; g < kGroups; ++g) {
        if (!measured(g)) continue;
        Figures both[2];
        Measure(groups[g], trees, both);
        figures[0][g] = both[0];
        figures[1][g] = both[1];
    }
    ShutDownLibrary();
    printf("medians of %d rounds (arch/fold: the median of the rounds' ratios)\n", Repeats(5, 1));
    printf("%-28s %6s %6s %12s %12s %12s %12s %9s\n", "group", "images", "sounds", "folder ms", "archive ms",
           "ms/img fold", "ms/img arch", "arch/fold");
    for (int g = 0; g < kGroups; ++g) {
        if (!measured(g)) continue;
        const Figures& f = figures[0][g];
        const Figures& a = figures[1][g];
        const int n = f.images > 0 ? f.images : 1;
        printf("%-28s %6d %6d %12.1f %12.1f %12.2f %12.2f %9.2f   (loading screen)\n", groups[g].name, f.images,
               f.sounds, f.screenMs, a.screenMs, f.screenMs / n, a.screenMs / n, a.screenRatio);
        printf("%-28s %6d %6d %12.1f %12.1f %12.2f %12.2f %9.2f   (bare loads, no screen)\n", "", f.images, f.sounds,
               f.bareMs, a.bareMs, f.bareMs / n, a.bareMs / n, a.bareRatio);
        printf("%-28s ratio loading screen / bare loads: %.2f folders, %.2f archives (goal <= 1.6)\n", "",
               f.screenMs / f.bareMs, a.screenMs / a.bareMs);
    }
    return 0;
}
