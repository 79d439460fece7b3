// The packing tool's view of the file system: folder listings, whole-file reads and writes with their times, and
// the archive's file adapters. One implementation per platform (fs_win32.cpp, fs_posix.cpp); names inside archives
// are Shift-JIS, and each platform converts its own names to and from them.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "runtime/archive/archive_reader.h"
#include "runtime/archive/archive_writer.h"

struct FsEntry {
    std::string name;  // the system's name of the entry
    bool directory = false;
    uint64_t size = 0;
    ArchiveTimes times;
};

// The entries of a folder (without "." and ".."), sorted by name.
bool FsListFolder(const std::string& folder, std::vector<FsEntry>* out, std::string* error);
bool FsIsFolder(const std::string& path);
bool FsReadFile(const std::string& path, std::vector<unsigned char>* out, std::string* error);
// Writes a whole file and gives it the times (zero times are left to the system).
bool FsWriteFile(const std::string& path, const std::vector<unsigned char>& data, const ArchiveTimes& times,
                 std::string* error);
// Makes a folder; an existing folder is fine.
bool FsMakeFolder(const std::string& path, std::string* error);
bool FsRemoveFile(const std::string& path);
std::string FsJoin(const std::string& folder, const std::string& name);

// Name conversion between the system's names and the archive's Shift-JIS names.
bool FsNameToArchive(const std::string& systemName, std::string* archiveName);
bool FsNameFromArchive(const std::string& archiveName, std::string* systemName);

// Archive output and input over stdio files.
class FileArchiveSink : public ArchiveSink {
public:
    ~FileArchiveSink() override;
    bool Open(const std::string& path);
    bool WriteAt(uint64_t offset, const void* data, size_t size) override;
    bool Close();

private:
    FILE* file_ = nullptr;
    uint64_t position_ = 0;
};

class FileArchiveSource : public ArchiveSource {
public:
    ~FileArchiveSource() override;
    bool Open(const std::string& path);
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override;

private:
    FILE* file_ = nullptr;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
};
