// The plain Win32 file back end. A file opened with the thread flag is served by a file-access thread of its own
// that reads ahead into a 128 KB buffer while it waits for commands; the thread touches only its record and file,
// takes no lock, never logs and never allocates. Handles are records on a list of live files, so a stale or foreign
// handle is refused instead of being followed.
#include <limits.h>
#include <string.h>

#include "runtime/file.h"
#include "runtime/log.h"
#include "runtime/memory.h"

namespace {

constexpr int kReadAheadSize = 0x20000;
constexpr DWORD kThreadPollMs = 100;

enum FileCommand { kCommandOpen = 0, kCommandClose = 1, kCommandRead = 2, kCommandSeek = 3, kCommandQuit = 4 };

struct Win32FileRecord {
    HANDLE file;
    int threaded;
    int endFlag;
    int position;
    int size;
    DWORD threadId;
    HANDLE thread;
    HANDLE commandEvent;  // manual reset, not signalled
    HANDLE doneEvent;     // manual reset, signalled
    int command;
    HANDLE threadFile;
    int threadEnded;
    int openFailed;
    char path[kFilePathMax];
    // Read request
    unsigned char* readDestination;
    int readPosition;
    int readBytes;
    int readDone;  // bytes delivered
    int seekPosition;
    // Read-ahead buffer (threaded files only)
    unsigned char* buffer;
    int bufferPosition;  // file position of buffer[0]
    int bufferHeld;
    // Live list
    Win32FileRecord* prev;
    Win32FileRecord* next;
};

Win32FileRecord* g_live = nullptr;

void Link(Win32FileRecord* r) {
    r->prev = nullptr;
    r->next = g_live;
    if (g_live) g_live->prev = r;
    g_live = r;
}

void Unlink(Win32FileRecord* r) {
    if (r->prev)
        r->prev->next = r->next;
    else
        g_live = r->next;
    if (r->next) r->next->prev = r->prev;
}

Win32FileRecord* Lookup(FileHandle handle) {
    for (Win32FileRecord* r = g_live; r; r = r->next)
        if ((FileHandle)r == handle) return r;
    return nullptr;
}

// Reads exactly what it can at a position of the thread's file; returns the bytes read.
int ThreadReadAt(Win32FileRecord* r, int position, unsigned char* destination, int bytes) {
    if (bytes <= 0) return 0;
    if (SetFilePointer(r->threadFile, position, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return 0;
    DWORD got = 0;
    if (!ReadFile(r->threadFile, destination, (DWORD)bytes, &got, nullptr)) return 0;
    return (int)got;
}

void ThreadServeRead(Win32FileRecord* r) {
    int wanted = r->readBytes;
    int done = 0;
    if (r->readPosition == r->bufferPosition && r->bufferHeld > 0) {
        int take = wanted < r->bufferHeld ? wanted : r->bufferHeld;
        memcpy(r->readDestination, r->buffer, (size_t)take);
        memmove(r->buffer, r->buffer + take, (size_t)(r->bufferHeld - take));
        r->bufferHeld -= take;
        r->bufferPosition += take;
        done = take;
    }
    if (done < wanted) {
        done += ThreadReadAt(r, r->readPosition + done, r->readDestination + done, wanted - done);
        r->bufferPosition = r->readPosition + done;
        r->bufferHeld = 0;
    }
    r->readDone = done;
}

DWORD WINAPI FileAccessThreadMain(LPVOID parameter) {
    Win32FileRecord* r = static_cast<Win32FileRecord*>(parameter);
    bool atEnd = false;  // the last read-ahead found no more bytes
    for (;;) {
        DWORD wait = WaitForSingleObject(r->commandEvent, kThreadPollMs);
        if (wait == WAIT_TIMEOUT) {
            if (r->threadFile != INVALID_HANDLE_VALUE && r->threadFile != nullptr && !atEnd &&
                r->bufferHeld < kReadAheadSize) {
                int got = ThreadReadAt(r, r->bufferPosition + r->bufferHeld, r->buffer + r->bufferHeld,
                                       kReadAheadSize - r->bufferHeld);
                r->bufferHeld += got;
                if (got == 0) atEnd = true;
            }
            continue;
        }
        if (wait != WAIT_OBJECT_0) {
            r->threadEnded = 1;
            SetEvent(r->doneEvent);
            return 1;
        }
        ResetEvent(r->commandEvent);
        ResetEvent(r->doneEvent);
        switch (r->command) {
            case kCommandOpen:
                r->threadFile = CreateFileA(r->path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr);
                if (r->threadFile == INVALID_HANDLE_VALUE) {
                    r->threadFile = nullptr;
                    r->openFailed = 1;
                    r->threadEnded = 1;
                    SetEvent(r->doneEvent);
                    return 0;
                }
                r->bufferPosition = 0;
                r->bufferHeld = 0;
                atEnd = false;
                break;
            case kCommandClose:
                if (r->threadFile) CloseHandle(r->threadFile);
                r->threadFile = nullptr;
                break;
            case kCommandRead:
                ThreadServeRead(r);
                atEnd = false;
                break;
            case kCommandSeek:
                r->bufferPosition = r->seekPosition;
                r->bufferHeld = 0;
                atEnd = false;
                break;
            case kCommandQuit:
            default:
                if (r->threadFile) CloseHandle(r->threadFile);
                r->threadFile = nullptr;
                r->threadEnded = 1;
                SetEvent(r->doneEvent);
                return 0;
        }
        SetEvent(r->doneEvent);
    }
}

// Hands a command to the file-access thread; waits for its completion when asked. Callers store the command's
// arguments only after the done event is signalled, since the thread reads them while it works.
void SendCommand(Win32FileRecord* r, int command, bool wait) {
    WaitForSingleObject(r->doneEvent, INFINITE);
    r->command = command;
    ResetEvent(r->doneEvent);
    SetEvent(r->commandEvent);
    if (wait) WaitForSingleObject(r->doneEvent, INFINITE);
}

void FreeThreadParts(Win32FileRecord* r) {
    if (r->thread) CloseHandle(r->thread);
    if (r->commandEvent) CloseHandle(r->commandEvent);
    if (r->doneEvent) CloseHandle(r->doneEvent);
    TrackedFree(r->buffer);
}

FileHandle OpenThreaded(Win32FileRecord* r, const char* path) {
    HANDLE probe =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        TrackedFree(r);
        return 0;
    }
    DWORD high = 0;
    DWORD low = GetFileSize(probe, &high);
    CloseHandle(probe);
    if (high != 0 || low > (DWORD)INT_MAX) {
        TrackedFree(r);
        return 0;
    }
    r->size = (int)low;
    r->threaded = 1;
    strcpy(r->path, path);
    r->buffer = static_cast<unsigned char*>(TrackedAlloc(kReadAheadSize, "", __LINE__));
    r->commandEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    r->doneEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (r->buffer && r->commandEvent && r->doneEvent)
        r->thread = CreateThread(nullptr, 0, FileAccessThreadMain, r, 0, &r->threadId);
    if (r->thread == nullptr) {
        FreeThreadParts(r);
        TrackedFree(r);
        WriteLog("ファイルアクセス専用スレッドの作成に失敗しました\n");
        return 0;
    }
    SendCommand(r, kCommandOpen, true);
    if (r->openFailed) {
        WaitForSingleObject(r->thread, INFINITE);
        FreeThreadParts(r);
        TrackedFree(r);
        WriteLog("ファイルのオープンに失敗しました\n");
        return 0;
    }
    Link(r);
    return (FileHandle)r;
}

}  // namespace

FileHandle Win32FileOpen(const char* path, int threadFlag, int /*unused*/) {
    if (path == nullptr || strlen(path) >= (size_t)kFilePathMax) return 0;
    Win32FileRecord* r = static_cast<Win32FileRecord*>(TrackedAllocZeroed(sizeof(Win32FileRecord), "", __LINE__));
    if (r == nullptr) return 0;
    if (threadFlag) return OpenThreaded(r, path);
    r->file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (r->file == INVALID_HANDLE_VALUE) {
        TrackedFree(r);
        return 0;
    }
    DWORD high = 0;
    DWORD low = GetFileSize(r->file, &high);
    // Positions are ints: a file of 2 GB or more cannot be addressed.
    if (high != 0 || low > (DWORD)INT_MAX) {
        CloseHandle(r->file);
        TrackedFree(r);
        return 0;
    }
    r->size = (int)low;
    Link(r);
    return (FileHandle)r;
}

int Win32FileClose(FileHandle file) {
    Win32FileRecord* r = Lookup(file);
    if (r == nullptr) return -1;
    Unlink(r);
    int result = 0;
    if (r->threaded) {
        SendCommand(r, kCommandQuit, true);
        WaitForSingleObject(r->thread, INFINITE);
        FreeThreadParts(r);
    } else if (!CloseHandle(r->file)) {
        result = -1;
    }
    TrackedFree(r);
    return result;
}

int Win32FileTell(FileHandle file) {
    Win32FileRecord* r = Lookup(file);
    return r ? r->position : -1;
}

int Win32FileSize(FileHandle file) {
    Win32FileRecord* r = Lookup(file);
    return r ? r->size : -1;
}

int Win32FileSeek(FileHandle file, int offset, int origin) {
    Win32FileRecord* r = Lookup(file);
    if (r == nullptr) return -1;
    long long target;
    switch (origin) {
        case 0: target = offset; break;
        case 1: target = (long long)r->position + offset; break;
        case 2: target = (long long)r->size + offset; break;
        default: return -1;
    }
    if (target < 0 || target > INT_MAX) return -1;
    if (r->threaded) {
        WaitForSingleObject(r->doneEvent, INFINITE);  // the thread may still be reading the previous arguments
        r->seekPosition = (int)target;
        SendCommand(r, kCommandSeek, false);
    } else if (SetFilePointer(r->file, (LONG)target, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
               GetLastError() != NO_ERROR) {
        return -1;
    }
    r->position = (int)target;
    r->endFlag = 0;
    return 0;
}

size_t Win32FileRead(void* buffer, size_t size, size_t count, FileHandle file) {
    Win32FileRecord* r = Lookup(file);
    if (r == nullptr || buffer == nullptr || size == 0 || count == 0) return 0;
    // A position at or past the end (a seek may go beyond it) reads nothing.
    if (r->position >= r->size) {
        r->endFlag = 1;
        return 0;
    }
    size_t remaining = (size_t)(r->size - r->position);
    if (count > remaining / size) {
        count = remaining / size;
        if (count == 0) {
            r->endFlag = 1;  // a tail shorter than one element is not read
            return 0;
        }
    }
    size_t bytes = size * count;
    size_t got = 0;
    if (r->threaded) {
        WaitForSingleObject(r->doneEvent, INFINITE);
        r->readDestination = static_cast<unsigned char*>(buffer);
        r->readPosition = r->position;
        r->readBytes = (int)bytes;
        r->readDone = 0;
        SendCommand(r, kCommandRead, true);
        got = (size_t)r->readDone;
    } else {
        DWORD read = 0;
        if (!ReadFile(r->file, buffer, (DWORD)bytes, &read, nullptr)) read = 0;
        got = read;
    }
    r->position += (int)got;
    return got / size;
}

int Win32FileEof(FileHandle file) {
    Win32FileRecord* r = Lookup(file);
    if (r == nullptr) return -1;
    return r->endFlag ? -1 : 0;
}

int Win32FileIdleCheck(FileHandle file) {
    Win32FileRecord* r = Lookup(file);
    if (r == nullptr || !r->threaded) return 1;
    return WaitForSingleObject(r->doneEvent, 0) == WAIT_OBJECT_0 ? 1 : 0;
}

int Win32SetCurrentDir(const char* path) { return path ? SetCurrentDirectoryA(path) : 0; }

int Win32GetCurrentDir(char* buffer) { return buffer ? (int)GetCurrentDirectoryA(kFilePathMax, buffer) : 0; }

const LowLevelFileTable* GetWin32FileFunctions() {
    static const LowLevelFileTable table = {
        Win32FileOpen,      Win32FileClose,     Win32FileTell,      Win32FileSeek,  Win32FileRead,
        Win32FileEof,       Win32FileIdleCheck, Win32SetCurrentDir, Win32GetCurrentDir,
        Win32FindFirst,     Win32FindNext,      Win32FindClose,
    };
    return &table;
}
