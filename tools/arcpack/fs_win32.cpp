// The packing tool's file system on Windows, through the system's ANSI functions: names pass unchanged, in the
// system's code page (932 on the machines the game's data is made on).
#if defined(_WIN32)

#include <windows.h>

#include <algorithm>

#include "tools/arcpack/fs.h"

namespace {

uint64_t ToValue(const FILETIME& t) { return ((uint64_t)t.dwHighDateTime << 32) | t.dwLowDateTime; }

FILETIME ToFileTime(uint64_t value) {
    FILETIME t;
    t.dwLowDateTime = (DWORD)value;
    t.dwHighDateTime = (DWORD)(value >> 32);
    return t;
}

std::string Describe(const std::string& what, const std::string& path) {
    return what + " " + path + " (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

bool FsListFolder(const std::string& folder, std::vector<FsEntry>* out, std::string* error) {
    out->clear();
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(FsJoin(folder, "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        *error = Describe("cannot list", folder);
        return false;
    }
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        FsEntry entry;
        entry.name = name;
        entry.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.size = entry.directory ? 0 : (((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow);
        entry.times.creation = ToValue(data.ftCreationTime);
        entry.times.access = ToValue(data.ftLastAccessTime);
        entry.times.write = ToValue(data.ftLastWriteTime);
        out->push_back(entry);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(out->begin(), out->end(), [](const FsEntry& a, const FsEntry& b) { return a.name < b.name; });
    return true;
}

bool FsIsFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FsReadFile(const std::string& path, std::vector<unsigned char>* out, std::string* error) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = Describe("cannot open", path);
        return false;
    }
    out->clear();
    unsigned char buffer[1 << 16];
    DWORD got = 0;
    bool ok = true;
    for (;;) {
        if (!ReadFile(file, buffer, sizeof(buffer), &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        out->insert(out->end(), buffer, buffer + got);
    }
    if (!ok) *error = Describe("cannot read", path);
    CloseHandle(file);
    return ok;
}

bool FsWriteFile(const std::string& path, const std::vector<unsigned char>& data, const ArchiveTimes& times,
                 std::string* error) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = Describe("cannot create", path);
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (done < data.size()) {
        DWORD chunk = (DWORD)std::min<size_t>(data.size() - done, 1u << 30);
        DWORD written = 0;
        if (!WriteFile(file, data.data() + done, chunk, &written, nullptr) || written != chunk) {
            ok = false;
            break;
        }
        done += written;
    }
    if (ok) {
        FILETIME creation = ToFileTime(times.creation), access = ToFileTime(times.access),
                 write = ToFileTime(times.write);
        SetFileTime(file, times.creation ? &creation : nullptr, times.access ? &access : nullptr,
                    times.write ? &write : nullptr);
    } else {
        *error = Describe("cannot write", path);
    }
    CloseHandle(file);
    return ok;
}

bool FsMakeFolder(const std::string& path, std::string* error) {
    if (CreateDirectoryA(path.c_str(), nullptr) || (GetLastError() == ERROR_ALREADY_EXISTS && FsIsFolder(path)))
        return true;
    *error = Describe("cannot make folder", path);
    return false;
}

bool FsRemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

std::string FsJoin(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    // Whether the folder ends in a separator, read outside double-byte characters (0x5C may be a trail byte).
    bool separatorLast = false;
    for (size_t i = 0; i < folder.size();) {
        unsigned char c = (unsigned char)folder[i];
        bool lead = ArchiveIsLeadByte(c) && i + 1 < folder.size();
        separatorLast = !lead && (c == '\\' || c == '/' || c == ':');
        i += lead ? 2 : 1;
    }
    return separatorLast ? folder + name : folder + "\\" + name;
}

bool FsNameToArchive(const std::string& systemName, std::string* archiveName) {
    *archiveName = systemName;
    return true;
}

bool FsNameFromArchive(const std::string& archiveName, std::string* systemName) {
    *systemName = archiveName;
    return true;
}

#endif
