// The packing tool's commands. Folder trees are walked in name order, so the same tree always gives the same
// archive; archive names are Shift-JIS and are converted from and to the system's names by the platform layer.
#include "tools/arcpack/arcpack.h"

#include <inttypes.h>

#include <vector>

#include "runtime/archive/archive_reader.h"
#include "tools/arcpack/fs.h"

namespace {

constexpr int kMaxDepth = 256;

#if defined(_WIN32)
constexpr char kSystemSeparator = '\\';
#else
constexpr char kSystemSeparator = '/';
#endif

struct PackState {
    ArchiveWriter* writer;
    FILE* messages;
    uint64_t files = 0;
    uint64_t folders = 0;
};

bool PackTree(PackState* state, const std::string& systemFolder, const std::string& archivePrefix, int depth) {
    if (depth > kMaxDepth) {
        fprintf(state->messages, "arcpack: folders nested too deeply at %s\n", systemFolder.c_str());
        return false;
    }
    std::vector<FsEntry> entries;
    std::string error;
    if (!FsListFolder(systemFolder, &entries, &error)) {
        fprintf(state->messages, "arcpack: %s\n", error.c_str());
        return false;
    }
    for (const FsEntry& entry : entries) {
        std::string systemPath = FsJoin(systemFolder, entry.name);
        std::string archiveName;
        if (!FsNameToArchive(entry.name, &archiveName)) {
            fprintf(state->messages, "arcpack: the name of %s has no Shift-JIS form\n", systemPath.c_str());
            return false;
        }
        std::string archivePath = archivePrefix.empty() ? archiveName : archivePrefix + "\\" + archiveName;
        if (entry.directory) {
            if (state->writer->AddDirectory(archivePath.c_str(), entry.times) != 0) {
                fprintf(state->messages, "arcpack: %s: %s\n", systemPath.c_str(), state->writer->Error().c_str());
                return false;
            }
            ++state->folders;
            if (!PackTree(state, systemPath, archivePath, depth + 1)) return false;
            continue;
        }
        std::vector<unsigned char> data;
        if (!FsReadFile(systemPath, &data, &error)) {
            fprintf(state->messages, "arcpack: %s\n", error.c_str());
            return false;
        }
        if (state->writer->AddFile(archivePath.c_str(), data.data(), data.size(), entry.times) != 0) {
            fprintf(state->messages, "arcpack: %s: %s\n", systemPath.c_str(), state->writer->Error().c_str());
            return false;
        }
        ++state->files;
    }
    return true;
}

// Splits an archive path at "\\" outside double-byte characters.
std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char c = (unsigned char)path[i];
        if (c == '\\') {
            parts.emplace_back();
            continue;
        }
        parts.back() += (char)c;
        if (ArchiveIsLeadByte(c) && i + 1 < path.size()) parts.back() += path[++i];
    }
    return parts;
}

// The system path of an archive path below root; false for names that are empty, "." or "..", or carry a
// separator or drive mark of the system once converted.
bool SystemPath(const std::string& root, const std::string& archivePath, std::string* out) {
    std::string path = root;
    for (const std::string& part : Components(archivePath)) {
        std::string name;
        if (part.empty() || part == "." || part == ".." || !FsNameFromArchive(part, &name)) return false;
        for (size_t i = 0; i < name.size(); ++i) {
            unsigned char c = (unsigned char)name[i];
#if defined(_WIN32)
            if (ArchiveIsLeadByte(c) && i + 1 < name.size()) {
                ++i;
                continue;
            }
#endif
            if (c == '/' || c == '\\' || c == ':' || c < 0x20) return false;
        }
        path = FsJoin(path, name);
    }
    *out = path;
    return true;
}

std::string DisplayPath(const std::string& archivePath) {
    std::string shown;
    for (const std::string& part : Components(archivePath)) {
        std::string name;
        if (!FsNameFromArchive(part, &name)) name = part;
        if (!shown.empty()) shown += kSystemSeparator;
        shown += name;
    }
    return shown;
}

bool OpenArchive(const std::string& path, const char* keyText, FileArchiveSource* source, ArchiveReader* reader,
                 FILE* messages) {
    if (!source->Open(path)) {
        fprintf(messages, "arcpack: cannot open %s\n", path.c_str());
        return false;
    }
    if (reader->Open(source, keyText) != 0) {
        fprintf(messages, "arcpack: %s is not an archive, is damaged, or needs another key\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int PackFolder(const std::string& folder, const std::string& archive, const ArchiveWriterOptions& options,
               FILE* messages) {
    if (!FsIsFolder(folder)) {
        fprintf(messages, "arcpack: %s is not a folder\n", folder.c_str());
        return 1;
    }
    FileArchiveSink sink;
    if (!sink.Open(archive)) {
        fprintf(messages, "arcpack: cannot create %s\n", archive.c_str());
        return 1;
    }
    ArchiveWriter writer(&sink, options);
    PackState state{&writer, messages};
    bool ok = PackTree(&state, folder, "", 0);
    if (ok && writer.Finish() != 0) {
        fprintf(messages, "arcpack: %s: %s\n", archive.c_str(), writer.Error().c_str());
        ok = false;
    }
    if (!sink.Close() && ok) {
        fprintf(messages, "arcpack: cannot write %s\n", archive.c_str());
        ok = false;
    }
    if (!ok) {
        FsRemoveFile(archive);
        return 1;
    }
    fprintf(messages, "arcpack: %" PRIu64 " files (%u packed) in %" PRIu64 " folders, %" PRIu64 " bytes stored as %" PRIu64 "\n",
            state.files, writer.PackedFiles(), state.folders, writer.BytesIn(), writer.BytesStored());
    return 0;
}

int ListArchive(const std::string& archive, const char* keyText, FILE* out, FILE* messages) {
    FileArchiveSource source;
    ArchiveReader reader;
    if (!OpenArchive(archive, keyText, &source, &reader, messages)) return 1;
    int result = reader.Walk([&](const std::string& path, const ArchiveEntry& entry) {
        if (entry.IsDirectory()) {
            fprintf(out, "%10s %10s  %s%c\n", "", "", DisplayPath(path).c_str(), kSystemSeparator);
        } else if (entry.IsPacked()) {
            fprintf(out, "%10u %10u  %s\n", entry.size, entry.packedSize, DisplayPath(path).c_str());
        } else {
            fprintf(out, "%10u %10s  %s\n", entry.size, "stored", DisplayPath(path).c_str());
        }
        return 0;
    });
    if (result != 0) {
        fprintf(messages, "arcpack: the index of %s is damaged\n", archive.c_str());
        return 1;
    }
    return 0;
}

int ExtractArchive(const std::string& archive, const std::string& folder, const char* keyText, FILE* messages) {
    FileArchiveSource source;
    ArchiveReader reader;
    if (!OpenArchive(archive, keyText, &source, &reader, messages)) return 1;
    std::string error;
    if (!FsMakeFolder(folder, &error)) {
        fprintf(messages, "arcpack: %s\n", error.c_str());
        return 1;
    }
    uint64_t files = 0;
    int result = reader.Walk([&](const std::string& path, const ArchiveEntry& entry) {
        std::string target;
        if (!SystemPath(folder, path, &target)) {
            fprintf(messages, "arcpack: refusing the entry name %s\n", DisplayPath(path).c_str());
            return 1;
        }
        if (entry.IsDirectory()) {
            if (FsMakeFolder(target, &error)) return 0;
            fprintf(messages, "arcpack: %s\n", error.c_str());
            return 1;
        }
        std::vector<unsigned char> data;
        if (reader.ReadFile(entry, &data) != 0) {
            fprintf(messages, "arcpack: %s is damaged in the archive\n", DisplayPath(path).c_str());
            return 1;
        }
        ArchiveTimes times;
        times.creation = entry.creationTime;
        times.access = entry.accessTime;
        times.write = entry.writeTime;
        if (!FsWriteFile(target, data, times, &error)) {
            fprintf(messages, "arcpack: %s\n", error.c_str());
            return 1;
        }
        ++files;
        return 0;
    });
    if (result < 0) fprintf(messages, "arcpack: the index of %s is damaged\n", archive.c_str());
    if (result != 0) return 1;
    fprintf(messages, "arcpack: %" PRIu64 " files extracted into %s\n", files, folder.c_str());
    return 0;
}
