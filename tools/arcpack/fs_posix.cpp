// The packing tool's file system on POSIX systems. Names on the disk are taken to be UTF-8 and converted to and from
// the archive's Shift-JIS (code page 932) with iconv.
#if !defined(_WIN32)

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "tools/arcpack/fs.h"

namespace {

// FILETIME counts 100 ns steps from 1601; the Unix epoch lies 11644473600 s later.
constexpr uint64_t kEpochDifference = 116444736000000000ull;

uint64_t ToFileTime(const struct timespec& t) {
    if (t.tv_sec < 0) return 0;
    return kEpochDifference + (uint64_t)t.tv_sec * 10000000ull + (uint64_t)t.tv_nsec / 100;
}

struct timespec FromFileTime(uint64_t value) {
    struct timespec t;
    if (value < kEpochDifference) {
        t.tv_sec = 0;
        t.tv_nsec = UTIME_OMIT;
        return t;
    }
    value -= kEpochDifference;
    t.tv_sec = (time_t)(value / 10000000ull);
    t.tv_nsec = (long)(value % 10000000ull) * 100;
    return t;
}

bool Convert(const char* to, const char* from, const std::string& in, std::string* out) {
    bool ascii = std::all_of(in.begin(), in.end(), [](char c) { return (unsigned char)c < 0x80; });
    if (ascii) {
        *out = in;
        return true;
    }
    iconv_t cd = iconv_open(to, from);
    if (cd == (iconv_t)-1) return false;
    std::string result(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = &result[0];
    size_t dstLeft = result.size();
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == (size_t)-1 || srcLeft != 0) return false;
    result.resize(result.size() - dstLeft);
    *out = result;
    return true;
}

std::string Describe(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + strerror(errno);
}

}  // namespace

bool FsListFolder(const std::string& folder, std::vector<FsEntry>* out, std::string* error) {
    out->clear();
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        *error = Describe("cannot list", folder);
        return false;
    }
    while (struct dirent* d = readdir(dir)) {
        std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        std::string full = FsJoin(folder, name);
        if (stat(full.c_str(), &st) != 0) {
            *error = Describe("cannot read", full);
            closedir(dir);
            return false;
        }
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) continue;  // devices, sockets and the like
        FsEntry entry;
        entry.name = name;
        entry.directory = S_ISDIR(st.st_mode);
        entry.size = entry.directory ? 0 : (uint64_t)st.st_size;
        entry.times.write = ToFileTime(st.st_mtim);
        entry.times.access = ToFileTime(st.st_atim);
        entry.times.creation = entry.times.write;  // no birth time here
        out->push_back(entry);
    }
    closedir(dir);
    std::sort(out->begin(), out->end(), [](const FsEntry& a, const FsEntry& b) { return a.name < b.name; });
    return true;
}

bool FsIsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FsReadFile(const std::string& path, std::vector<unsigned char>* out, std::string* error) {
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = Describe("cannot open", path);
        return false;
    }
    out->clear();
    unsigned char buffer[1 << 16];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0) out->insert(out->end(), buffer, buffer + got);
    bool ok = !ferror(file);
    fclose(file);
    if (!ok) *error = Describe("cannot read", path);
    return ok;
}

bool FsWriteFile(const std::string& path, const std::vector<unsigned char>& data, const ArchiveTimes& times,
                 std::string* error) {
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *error = Describe("cannot create", path);
        return false;
    }
    bool ok = data.empty() || fwrite(data.data(), 1, data.size(), file) == data.size();
    ok = (fclose(file) == 0) && ok;
    if (!ok) {
        *error = Describe("cannot write", path);
        return false;
    }
    struct timespec stamps[2] = {FromFileTime(times.access), FromFileTime(times.write)};
    utimensat(AT_FDCWD, path.c_str(), stamps, 0);
    return true;
}

bool FsMakeFolder(const std::string& path, std::string* error) {
    if (mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && FsIsFolder(path))) return true;
    *error = Describe("cannot make folder", path);
    return false;
}

bool FsRemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

std::string FsJoin(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool FsNameToArchive(const std::string& systemName, std::string* archiveName) {
    return Convert("CP932", "UTF-8", systemName, archiveName);
}

bool FsNameFromArchive(const std::string& archiveName, std::string* systemName) {
    return Convert("UTF-8", "CP932", archiveName, systemName);
}

#endif
