// Directory listings of the plain Win32 back end and temporary files (a movie inside an archive is copied into one
// so the system's player can open it).
#include <string.h>

#include "runtime/archive/archive.h"
#include "runtime/file.h"

void FindDataToFindRecord(const WIN32_FIND_DATAA* data, FindRecord* out) {
    memset(out, 0, sizeof(*out));
    memcpy(out->name, data->cFileName, sizeof(out->name));
    out->name[sizeof(out->name) - 1] = 0;
    out->isDirectory = (data->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
    out->sizeLow = data->nFileSizeLow;
    out->sizeHigh = data->nFileSizeHigh;
    FileTimeToDateTime(&data->ftCreationTime, &out->creationTime);
    FileTimeToDateTime(&data->ftLastWriteTime, &out->lastWriteTime);
}

FindHandle Win32FindFirst(const char* pattern, FindRecord* out) {
    if (pattern == nullptr || out == nullptr) return -1;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) return -1;
    FindDataToFindRecord(&data, out);
    return (FindHandle)find;
}

int Win32FindNext(FindHandle find, FindRecord* out) {
    if (find == -1 || find == 0 || out == nullptr) return -1;
    WIN32_FIND_DATAA data;
    if (!FindNextFileA((HANDLE)find, &data)) return -1;
    FindDataToFindRecord(&data, out);
    return 0;
}

int Win32FindClose(FindHandle find) {
    if (find == -1 || find == 0) return -1;
    return FindClose((HANDLE)find) ? 0 : -1;
}

HANDLE CreateTempFile(char* nameOut) {
    char folder[kFilePathMax];
    DWORD length = GetTempPathA(256, folder);
    if (length == 0 || length >= 256) return nullptr;
    if (folder[length - 1] != '\\') {
        folder[length] = '\\';
        folder[length + 1] = 0;
    }
    char name[kFilePathMax];
    if (GetTempFileNameA(folder, "tmp", 0, name) == 0) return nullptr;
    char absolute[kFilePathMax];
    if (BuildAbsolutePath(name, absolute, nullptr) != 0) {
        DeleteFileA(name);
        return nullptr;
    }
    // GetTempFileNameA made the file already; it is made again, empty and for this caller alone.
    DeleteFileA(absolute);
    HANDLE file = CreateFileA(absolute, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    if (nameOut) strcpy(nameOut, absolute);
    return file;
}
