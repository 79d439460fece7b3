// Reads a whole packed archive from any random-access source: header and index, entry contents (descrambled and
// unpacked) and a walk over every entry. Portable C++ without windows.h, for the packing tool's list and extract
// and for checking written archives; the runtime's own file layer (runtime/archive/archive.h) reads entries piecewise.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime/archive/archive_format.h"

class ArchiveSource {
public:
    virtual ~ArchiveSource() = default;
    virtual uint64_t Size() const = 0;
    // false when the range cannot be read whole.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
};

class ArchiveMemorySource : public ArchiveSource {
public:
    ArchiveMemorySource(const void* data, size_t size) : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override;

private:
    const unsigned char* data_;
    size_t size_;
};

class ArchiveReader {
public:
    // Reads and checks the header (trying the key, then the fallback key) and loads the index. 0 / -1.
    int Open(ArchiveSource* source, const char* keyText);

    const ArchiveHeader& Header() const { return header_; }
    const ArchiveIndexView& View() const { return view_; }

    // The entry at a path relative to the root ("\\" or "/" between components), case-insensitive. 0 / -1.
    int Locate(const char* path, ArchiveEntry* out) const;
    // A file entry's contents. -1 when its data lies outside the archive or its packed stream is malformed.
    int ReadFile(const ArchiveEntry& entry, std::vector<unsigned char>* out);
    // Visits every entry, parents before children, with its path (stored names joined by "\\"). Returns 0, the
    // visitor's first non-zero result, or -1 when the index is corrupt (bad offsets, a folder reached twice, more
    // than 256 levels).
    int Walk(const std::function<int(const std::string& path, const ArchiveEntry& entry)>& visit) const;

private:
    ArchiveSource* source_ = nullptr;
    ArchiveHeader header_{};
    unsigned char key_[kArchiveKeySize] = {};
    std::vector<unsigned char> index_;
    ArchiveIndexView view_{};
};
