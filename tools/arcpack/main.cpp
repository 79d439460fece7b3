// arcpack: packs a folder into an archive the runtime reads in its place, lists an archive and extracts one.
//   arcpack pack [-s] [-l LEVEL] [-V VERSION] [-k KEY] <folder> <archive>
//   arcpack list [-k KEY] <archive>
//   arcpack extract [-k KEY] <archive> <folder>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "tools/arcpack/arcpack.h"

namespace {

int Usage() {
    fprintf(stderr,
            "usage:\n"
            "  arcpack pack [options] <folder> <archive>   pack a folder; the folder is the archive's root\n"
            "      -s, --store        store every file unpacked\n"
            "      -l, --level N      packing effort, 1 (fast) to 9 (small); default 6\n"
            "      -V, --version N    archive version 0 to 3; default 3 (0 and 1 cannot pack)\n"
            "      -k, --key TEXT     scramble with a key text instead of the built-in one\n"
            "  arcpack list [-k TEXT] <archive>\n"
            "  arcpack extract [-k TEXT] <archive> <folder>\n"
            "A folder DATA is read from DATA.<ext> beside it; the game's extension is Qzm.\n");
    return 2;
}

bool ParseNumber(const char* text, int low, int high, int* out) {
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    if (end == text || *end != 0 || value < low || value > high) return false;
    *out = (int)value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string command = argv[1];
    ArchiveWriterOptions options;
    std::string key;
    bool haveKey = false;
    std::vector<std::string> operands;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        bool more = i + 1 < argc;
        if ((arg == "-s" || arg == "--store") && command == "pack") {
            options.pack = false;
        } else if ((arg == "-l" || arg == "--level") && command == "pack" && more) {
            if (!ParseNumber(argv[++i], 1, 9, &options.level)) return Usage();
        } else if ((arg == "-V" || arg == "--version") && command == "pack" && more) {
            if (!ParseNumber(argv[++i], 0, kArchiveMaxVersion, &options.version)) return Usage();
        } else if ((arg == "-k" || arg == "--key") && more) {
            key = argv[++i];
            haveKey = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage();
        } else {
            operands.push_back(arg);
        }
    }
    if (haveKey && key.empty()) return Usage();
    const char* keyText = haveKey ? key.c_str() : nullptr;
    options.keyText = keyText;

    if (command == "pack" && operands.size() == 2) return PackFolder(operands[0], operands[1], options, stderr);
    if (command == "list" && operands.size() == 1) return ListArchive(operands[0], keyText, stdout, stderr);
    if (command == "extract" && operands.size() == 2) return ExtractArchive(operands[0], operands[1], keyText, stderr);
    return Usage();
}
