// The runtime's text log: each text is appended to the log file (opened and closed per text so
// the log survives a crash) and sent to the debugger output, with "\r\n" line ends, a time stamp
// and tab indentation at each line start. Also the fatal-error path.
#include "runtime/log.h"

#include <windows.h>

#include <mmsystem.h>
#include <string.h>

#include "runtime/api_lock.h"
#include "runtime/file.h"
#include "runtime/memory.h"
#include "runtime/startup.h"
#include "runtime/text.h"

namespace {

char g_logFileName[256] = "";
char g_logDirectory[MAX_PATH] = "";
int g_logDisabled = 0;
int g_logToDebuggerOnly = 0;
int g_logDateStampedName = 0;
int g_logNoTimeStamp = 0;
int g_logIndent = 0;
int g_logMidLine = 0;
DWORD g_logStartTime = 0;
bool g_inFatalError = false;

// Texts shorter than this convert in a stack buffer; longer ones borrow tracked memory.
constexpr size_t kStackConvertLength = 256;

// Turns each "\n" not already preceded by "\r" into "\r\n". From the first "\n" that already
// has its "\r" on, the rest is taken as it is. `out` holds 2 * length + 1 bytes.
size_t ConvertLineEnds(const char* text, size_t length, char* out) {
    size_t o = 0;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '\n') {
            if (i > 0 && text[i - 1] == '\r') {
                memcpy(out + o, text + i, length - i);
                o += length - i;
                break;
            }
            out[o++] = '\r';
        }
        out[o++] = c;
    }
    out[o] = '\0';
    return o;
}

// Switches the current directory to the log directory for the duration of a file operation
// on the log, through the file layer, and back afterwards. When the current directory cannot
// be remembered it is left alone and the log file is named by its full path instead.
class LogDirectoryScope {
   public:
    explicit LogDirectoryScope(const char* directory) {
        int length = FileLayerGetDir(previous_);
        if (length <= 0 || length >= kSavedDirectoryBytes) {
            ok_ = false;
            return;
        }
        switched_ = FileLayerSetDir(directory) != 0;
        ok_ = switched_;
    }
    ~LogDirectoryScope() {
        if (switched_) FileLayerSetDir(previous_);
    }
    LogDirectoryScope(const LogDirectoryScope&) = delete;
    LogDirectoryScope& operator=(const LogDirectoryScope&) = delete;
    // The name to open: relative when switched, else directory + "\\" + name.
    const char* PathOf(const char* directory, const char* name) {
        if (ok_) return name;
        if (strlen(directory) + 1 + strlen(name) >= sizeof(fullPath_)) return nullptr;
        FormatString(fullPath_, sizeof(fullPath_), "%s\\%s", directory, name);
        return fullPath_;
    }

   private:
    // The file layer's getDir fills at most 260 bytes; a name it could not fit comes back as a
    // length of 256 or more with nothing written.
    static constexpr int kSavedDirectoryBytes = 256;
    char previous_[MAX_PATH + 4] = {};
    char fullPath_[MAX_PATH * 2] = {};
    bool switched_ = false;
    bool ok_ = false;
};

void WriteToFile(HANDLE file, const char* text, size_t length) {
    DWORD written = 0;
    if (length > 0) WriteFile(file, text, (DWORD)length, &written, nullptr);
}

void ChooseLogFileName() {
    if (g_logDateStampedName) {
        DateTimeRecord t;
        GetLocalDateTime(&t);
        FormatString(g_logFileName, sizeof(g_logFileName), "Log%d_%d_%d_%d_%d_%d.txt", t.year, t.month, t.day, t.hour,
                     t.minute, t.second);
    } else {
        CopyText(g_logFileName, "Log.txt");
    }
}

}  // namespace

int OpenLogFile() {
    if (g_logDisabled || g_logToDebuggerOnly) return 1;
    ChooseLogFileName();
    // At start-up the current directory is the log directory already; switching keeps a log
    // directory set by a host or a test authoritative.
    const char* directory = g_logDirectory[0] ? g_logDirectory : ".";
    LogDirectoryScope in(directory);
    const char* path = in.PathOf(directory, g_logFileName);
    if (path != nullptr) {
        DeleteFileA(path);
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    g_logIndent = 0;
    g_logMidLine = 0;
    g_logStartTime = timeGetTime();
    return 1;
}

int WriteLog(const char* text) {
    if (text == nullptr || text[0] == '\0') return -1;
    size_t length = strlen(text);

    char stackBuffer[2 * kStackConvertLength + 1];
    char* converted = stackBuffer;
    if (length >= kStackConvertLength) {
        if (length > (0x7FFFFFF0u - 1) / 2) return -1;
        converted = static_cast<char*>(TrackedAlloc(2 * length + 1, nullptr, 0xFFFF));
        if (converted == nullptr) return -1;
    }
    size_t convertedLength = ConvertLineEnds(text, length, converted);

    if (g_logToDebuggerOnly) {
        OutputDebugStringA(converted);
    } else if (!g_logDisabled && g_logDirectory[0] != '\0') {
        LogDirectoryScope in(g_logDirectory);
        const char* path = in.PathOf(g_logDirectory, g_logFileName[0] ? g_logFileName : "Log.txt");
        HANDLE file = path != nullptr ? CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                                    nullptr)
                                      : INVALID_HANDLE_VALUE;
        // A log file that cannot be opened loses the text.
        if (file != INVALID_HANDLE_VALUE) {
            SetFilePointer(file, 0, nullptr, FILE_END);
            if (g_logMidLine == 0) {
                if (!g_logNoTimeStamp) {
                    char stamp[16];
                    FormatString(stamp, sizeof(stamp), "%d:", (int)(timeGetTime() - g_logStartTime));
                    WriteToFile(file, stamp, strlen(stamp));
                }
                if (g_logIndent > 0) {
                    char tabs[64];
                    int remaining = g_logIndent;
                    while (remaining > 0) {
                        int n = remaining < 63 ? remaining : 63;
                        FillBytes(tabs, '\t', (size_t)n);
                        tabs[n] = '\0';
                        WriteToFile(file, tabs, (size_t)n);
                        OutputDebugStringA(tabs);
                        remaining -= n;
                    }
                }
            }
            WriteToFile(file, converted, convertedLength);
            OutputDebugStringA(converted);
            g_logMidLine = text[length - 1] != '\n' ? 1 : 0;
            CloseHandle(file);
        }
    }

    if (converted != stackBuffer) TrackedFree(converted);
    return -1;
}

int WriteLogFormatV(const char* format, va_list args) {
    // Room for the formatted text, "\n" and the NUL; longer texts are cut.
    char buffer[kLogFormatBufferSize + 2];
    int n = FormatStringV(buffer, kLogFormatBufferSize, format, args);
    buffer[n] = '\n';
    buffer[n + 1] = '\0';
    return WriteLog(buffer);
}

int WriteLogFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteLogFormatV(format, args);
    va_end(args);
    return -1;
}

int WriteLogPrintf(const char* format, ...) {
    char buffer[kLogFormatBufferSize];
    va_list args;
    va_start(args, format);
    FormatStringV(buffer, sizeof(buffer), format, args);
    va_end(args);
    return WriteLog(buffer);
}

int LogIndentIn() {
    ++g_logIndent;
    return 0;
}

int LogIndentOut() {
    if (g_logIndent > 0) --g_logIndent;
    return 0;
}

int GetLogIndent() { return g_logIndent; }

int SetLogFileEnabledImpl(int flag) {
    g_logDisabled = flag == 0 ? 1 : 0;
    return 0;
}

int IsLogFileEnabled() { return g_logDisabled ? 0 : 1; }

void SetLogDirectory(const char* directory) {
    if (directory == nullptr || strlen(directory) >= sizeof(g_logDirectory)) {
        g_logDirectory[0] = '\0';
        return;
    }
    CopyText(g_logDirectory, directory);
}

const char* GetLogDirectory() { return g_logDirectory; }

void SetLogToDebuggerOnly(int flag) { g_logToDebuggerOnly = flag; }

void SetLogDateStampedName(int flag) { g_logDateStampedName = flag; }

void SetLogNoTimeStamp(int flag) { g_logNoTimeStamp = flag; }

const char* GetLogFileName() { return g_logFileName; }

void FatalError(const char* text) {
    WriteLog(text);
    WriteLog("\n");
    // A fatal error raised by the shutdown sequence itself must not run it again.
    if (!g_inFatalError) {
        g_inFatalError = true;
        LibraryShutDownSequence();
        ApiLockTearDown();
    }
    ExitProcess((UINT)-1);
}

void FatalErrorFormat(const char* format, ...) {
    char buffer[kLogFormatBufferSize];
    va_list args;
    va_start(args, format);
    FormatStringV(buffer, sizeof(buffer), format, args);
    va_end(args);
    FatalError(buffer);
}
