// Writes packed archives: files and folders are added one at a time (file data goes straight to the output, LZ-packed
// when that makes it smaller), and Finish lays out the name, file and directory tables and the header. Portable C++
// without windows.h: the packing tool and the tests' fixtures both write through it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "runtime/archive/archive_format.h"
#include "runtime/archive/lz_pack.h"

// FILETIME values (100 ns units since 1601) stored with an entry.
struct ArchiveTimes {
    uint64_t creation = 0;
    uint64_t access = 0;
    uint64_t write = 0;
};

// Where the archive's bytes go. Writes arrive mostly in order; the header is written last, at offset 0.
class ArchiveSink {
public:
    virtual ~ArchiveSink() = default;
    virtual bool WriteAt(uint64_t offset, const void* data, size_t size) = 0;
};

class ArchiveMemorySink : public ArchiveSink {
public:
    bool WriteAt(uint64_t offset, const void* data, size_t size) override;
    std::vector<unsigned char> bytes;
};

struct ArchiveWriterOptions {
    int version = kArchiveMaxVersion;  // 0..3; packing needs 2 or later
    bool pack = true;
    int level = kLzDefaultLevel;
    const char* keyText = nullptr;  // null or empty: the built-in filler, which readers use without a key text
    bool fallbackKey = false;       // scramble with the fallback key instead
};

class ArchiveWriter {
public:
    ArchiveWriter(ArchiveSink* sink, const ArchiveWriterOptions& options);

    // Paths are relative to the archive's root, with "\\" or "/" between components; missing parent folders are
    // made. Names keep their case; two names that differ only in case are refused. 0, or -1 with Error() set.
    int AddDirectory(const char* path, const ArchiveTimes& times);
    int AddFile(const char* path, const void* data, size_t size, const ArchiveTimes& times);
    // Writes the index and the header. 0 / -1. Nothing may be added afterwards.
    int Finish();

    const std::string& Error() const { return error_; }
    uint64_t BytesIn() const { return bytesIn_; }
    uint64_t BytesStored() const { return dataEnd_ - kArchiveHeaderSize; }
    uint32_t PackedFiles() const { return packedFiles_; }

private:
    struct Node {
        std::string name;   // as given
        std::string upper;  // for the case-insensitive duplicate check
        bool directory = false;
        ArchiveTimes times;
        uint32_t dataOffset = 0;  // within the data area
        uint32_t size = 0;
        uint32_t packedSize = kArchiveNotPacked;
        std::vector<size_t> children;
    };

    int Fail(const std::string& message);
    // The node at the path's folder part, creating folders; the last component is returned in leaf.
    int WalkToParent(const char* path, size_t* parent, std::string* leaf);
    int FindChild(size_t parent, const std::string& upper) const;
    bool WriteScrambled(uint64_t offset, const unsigned char* data, size_t size);

    ArchiveSink* sink_;
    ArchiveWriterOptions options_;
    unsigned char key_[kArchiveKeySize];
    std::vector<Node> nodes_;  // node 0 is the root
    uint64_t dataEnd_ = kArchiveHeaderSize;
    uint64_t bytesIn_ = 0;
    uint32_t packedFiles_ = 0;
    bool finished_ = false;
    std::string error_;
};
