// What the game's every-entry load is made of, from the folder tree and from the archive tree: the file layer's
// opens and reads of every image, its "_a" companion and every sound; the image decodes; the graphs made from
// decoded images (creation and upload); the loading screen's frames alone; the WAV and the MP3 sound loads. Each
// part is timed on its own in the same run as the whole load through the Loader, and printed as milliseconds, per
// file, and as a ratio to the whole. Short mode runs the parts once over the first tenth of the entries.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/bench_game_trees.h"
#include "bench/bench_timing.h"
#include "game/shell/loader.h"
#include "graphics/image/image.h"
#include "runtime/api_lock.h"
#include "runtime/file.h"
#include "runtime/runtime.h"

namespace {

double Now() { return BenchSeconds() * 1000.0; }

const char* PathOf(int entry) { return entry < 3 ? kLoadingImagePaths[entry] : kImagePaths[entry]; }

int LastImage() { return ShortRun() ? 3 + (kImageEntryCount - 3) / 10 : kImageEntryCount - 1; }

bool IsMp3(const char* path) {
    const size_t n = strlen(path);
    return n > 4 && _stricmp(path + n - 4, ".mp3") == 0;
}

// Opens, reads whole and closes a file through the file layer; returns whether it was there.
bool ReadThrough(const char* path, std::vector<char>& buffer) {
    const FileHandle file = FileLayerOpen(path, 0, 1);
    if (file == 0) return false;
    while (FileLayerRead(buffer.data(), 1, buffer.size(), file) == buffer.size()) {
    }
    FileLayerClose(file);
    return true;
}

struct Parts {
    double whole = 0, reads = 0, decodes = 0, graphs = 0, screen = 0, wav = 0, mp3 = 0;
    int files = 0, missing = 0, images = 0, wavs = 0, mp3s = 0;
};

Parts Measure() {
    Parts p;
    std::vector<char> buffer(64 * 1024);
    {
        auto loader = std::make_shared<Loader>();
        loader->loadCommon(false);
        const double t = Now();
        for (int i = 3; i <= LastImage(); ++i) loader->loadImage(i, false);
        for (int s = 0; s < kSoundEntryCount; ++s) loader->loadSound(s, false);
        p.whole = Now() - t;
        ReleaseAllGraphs(0);
        ReleaseAllSounds(0);

        loader->loadCommon(false);
        const double s = Now();
        for (int i = 3; i <= LastImage(); ++i) loader->drawLoadingScreen();
        p.screen = Now() - s;
        ReleaseAllGraphs(0);
        ReleaseAllSounds(0);
    }
    // The inner functions below run under the API lock, as the public entries would run them.
    LockApi();
    char companion[MAX_PATH];
    double t = Now();
    for (int i = 3; i <= LastImage(); ++i) {
        ++p.files;
        ReadThrough(PathOf(i), buffer);
        MakeAlphaCompanionName(PathOf(i), companion, sizeof(companion));
        ++p.files;
        if (!ReadThrough(companion, buffer)) ++p.missing;
    }
    for (int s = 0; s < kSoundEntryCount; ++s) {
        ++p.files;
        ReadThrough(kSoundPaths[s], buffer);
    }
    p.reads = Now() - t;

    for (int i = 3; i <= LastImage(); ++i) {
        GraphImage image, alpha;
        const double d = Now();
        const int loaded = LoadImageWithAlphaFile(PathOf(i), nullptr, 0, nullptr, 0, 0, &image, &alpha);
        p.decodes += Now() - d;
        if (loaded == -1) continue;
        ++p.images;
        const double g = Now();
        MakeGraphFromGraphImageCore(&image, loaded == 0 ? &alpha : nullptr, 1, 0, 0);
        p.graphs += Now() - g;
        ReleaseGraphImage(&image);
        ReleaseGraphImage(&alpha);
    }
    UnlockApi();
    ReleaseAllGraphs(0);

    for (int s = 0; s < kSoundEntryCount; ++s) {
        const bool mp3 = IsMp3(kSoundPaths[s]);
        const double d = Now();
        LoadSoundHandleFromFile(kSoundPaths[s], 3, -1);
        (mp3 ? p.mp3 : p.wav) += Now() - d;
        ++(mp3 ? p.mp3s : p.wavs);
    }
    ReleaseAllSounds(0);
    return p;
}

void Print(const char* name, double ms, int count, double whole) {
    printf("  %-44s %9.1f ms %5d x %7.3f ms   ratio to the whole %.2f\n", name, ms, count, count > 0 ? ms / count : 0.0,
           ms / whole);
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    const char* build = BenchBuildFolder("game_loading_parts");
    if (build == nullptr) return 1;
    const char* names[2] = {"folders", "archives"};
    const std::string trees[2] = {BenchResourceTree(build, "folders"), BenchResourceTree(build, "archives")};
    // One runtime measures both trees in turns within each round (through the current folder, which the file layer
    // resolves every path against), so both meet the same load; rounds alternate which tree goes first.
    if (!SetCurrentDirectoryA(trees[1].c_str()) || !StartRuntimeOnTree(trees[0])) {
        fprintf(stderr, "game_loading_parts: cannot start on %s and %s\n", trees[0].c_str(), trees[1].c_str());
        return 1;
    }
    for (int t = 0; t < 2; ++t) {
        SetCurrentDirectoryA(trees[t].c_str());
        Measure();  // untimed warm-up: decoder set-up, the archive index, the file cache
    }
    std::vector<Parts> rounds[2];
    for (int r = 0; r < Repeats(3, 1); ++r) {
        for (int k = 0; k < 2; ++k) {
            const int t = (r + k) % 2;
            SetCurrentDirectoryA(trees[t].c_str());
            rounds[t].push_back(Measure());
        }
    }
    for (int t = 0; t < 2; ++t) {
        // Medians of each part over the rounds.
        auto median = [&](double Parts::*field) {
            std::vector<double> v;
            for (const Parts& p : rounds[t]) v.push_back(p.*field);
            return Median(v);
        };
        const Parts& c = rounds[t][0];
        const double whole = median(&Parts::whole);
        printf("%s: entries 3-%d and every sound, medians of %zu rounds\n", names[t], LastImage(), rounds[t].size());
        Print("whole load through the Loader, with screen", whole, c.images + c.wavs + c.mp3s, whole);
        Print("file opens and reads (images, _a, sounds)", median(&Parts::reads), c.files, whole);
        printf("  %-44s %d of the %d opens find no file\n", "", c.missing, c.files);
        Print("image decodes (with the _a look-up)", median(&Parts::decodes), c.images, whole);
        Print("graphs from decoded images", median(&Parts::graphs), c.images, whole);
        Print("loading screen frames alone", median(&Parts::screen), LastImage() - 2, whole);
        Print("WAV sound loads", median(&Parts::wav), c.wavs, whole);
        Print("MP3 sound loads", median(&Parts::mp3), c.mp3s, whole);
    }
    ShutDownLibrary();
    return 0;
}
