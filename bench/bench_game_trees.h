// The generated resource trees the game benchmarks load from, and the runtime started on one as the game starts it.
#pragma once

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "runtime/runtime.h"

// The build folder as Windows sees it (set by scripts/wine-run.sh), or null after saying so on stderr.
inline const char* BenchBuildFolder(const char* bench) {
    const char* build = getenv("KAVORIN_BUILD_DIR_WIN");
    if (build == nullptr) {
        fprintf(stderr, "%s: KAVORIN_BUILD_DIR_WIN is not set (run through scripts/wine-run.sh)\n", bench);
    }
    return build;
}

// "folders" or "archives": the tree of that kind beside the build folder.
inline std::string BenchResourceTree(const char* build, const char* kind) {
    return std::string(build) + "\\..\\resources\\" + kind;
}

// The runtime started in a window on `tree`, with the game's archive extension and the back screen as target.
inline bool StartRuntimeOnTree(const std::string& tree) {
    if (!SetCurrentDirectoryA(tree.c_str())) return false;
    ChangeWindowMode(1);
    SetLogFileEnabled(0);
    if (StartUpLibrary() == -1) return false;
    ArchiveSetExtension("Qzm");
    SetTargetScreen(-2);
    return true;
}
