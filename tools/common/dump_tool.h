// Shared by the dump tools (sounddump, imgdump): their common command line "[-e EXT] [-q] INPUT OUTPUT" and the
// part of the runtime's start-up that reading a file through the file layer needs, so that an input whose folder is
// packed into an archive beside it is read from that archive. Header only: each tool is a single source file.
#pragma once

#include <string.h>

#include "runtime/archive/archive.h"
#include "runtime/file.h"
#include "runtime/stream.h"

struct DumpToolArguments {
    const char* extension = nullptr;  // -e EXT: extension of the archives that stand for folders
    bool quiet = false;               // -q: no summary line
    const char* input = nullptr;
    const char* output = nullptr;
};

// 0 when the command line has the form above (options anywhere), else -1: the caller prints its usage.
inline int ParseDumpToolArguments(int argc, char** argv, DumpToolArguments* out) {
    *out = DumpToolArguments{};
    const char* files[2] = {nullptr, nullptr};
    int fileCount = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-e") == 0 && i + 1 < argc) {
            out->extension = argv[++i];
        } else if (strcmp(argv[i], "-q") == 0) {
            out->quiet = true;
        } else if (argv[i][0] == '-' || fileCount == 2) {
            return -1;
        } else {
            files[fileCount++] = argv[i];
        }
    }
    if (fileCount != 2) return -1;
    out->input = files[0];
    out->output = files[1];
    return 0;
}

// The archive table, the default file back end and the stream tables, with the archive extension when given.
inline void StartDumpToolFileLayer(const char* extension) {
    ArchiveTableClear();
    SelectFileBackEnd(nullptr);
    InitStreamFunctionTables();
    if (extension != nullptr) ArchiveSetExtensionImpl(extension);
}

// Closes the archives the tool opened.
inline void EndDumpToolFileLayer() { ArchiveReleaseAll(); }
