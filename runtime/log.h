// The runtime's indented text log: a file in the log directory plus the debugger output,
// and the fatal-error path that logs, shuts the library down and ends the process.
// Callers hold the API lock (or run on the main thread during start-up and shutdown).
#pragma once

#include <stdarg.h>
#include <stddef.h>

#if defined(__MINGW_PRINTF_FORMAT)
#define KV_PRINTF_LIKE(fmt, first) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, first)))
#else
#define KV_PRINTF_LIKE(fmt, first) __attribute__((format(printf, fmt, first)))
#endif

// Size of the buffers WriteLogFormat / FatalErrorFormat format into (longer texts are cut).
constexpr int kLogFormatBufferSize = 1024;

// Chooses and truncates the log file ("Log.txt", or a date-stamped name) in the current
// directory. Does nothing while the log is disabled or goes to the debugger only. Returns 1.
int OpenLogFile();

// Writes a text to the log: "\n" becomes "\r\n"; a line start gets "%d:" (ms since the file was
// opened) and one tab per indent level. Always returns -1 so error paths can return its result.
int WriteLog(const char* text);

// Formats like printf into a 1024-byte buffer (truncating), appends "\n" and calls WriteLog.
// Returns -1.
int WriteLogFormat(const char* format, ...) KV_PRINTF_LIKE(1, 2);
int WriteLogFormatV(const char* format, va_list args);
// Formats like printf into a 1024-byte buffer (truncating) and writes the text as it is, for
// formats that carry their own line ends (or continue a line). Returns -1.
int WriteLogPrintf(const char* format, ...) KV_PRINTF_LIKE(1, 2);

// Indent depth of the lines that follow; LogIndentOut never goes below 0. Both return 0.
int LogIndentIn();
int LogIndentOut();
int GetLogIndent();

// flag 0 switches the log file and the debugger output off. Returns 0.
int SetLogFileEnabledImpl(int flag);
int IsLogFileEnabled();

// The folder the log file lives in. Start-up sets it to the current directory; an empty
// directory (the state at load) means nothing is written. Tests point it at a temp folder.
void SetLogDirectory(const char* directory);
const char* GetLogDirectory();

// Settings the game never changes; kept for hosts and tests.
void SetLogToDebuggerOnly(int flag);   // texts go to OutputDebugStringA only, no file
void SetLogDateStampedName(int flag);  // file name "LogY_M_D_h_m_s.txt"
void SetLogNoTimeStamp(int flag);      // lines get no "%d:" prefix
// The file name OpenLogFile chose last (relative to the log directory); "" before it ran.
const char* GetLogFileName();

// Logs the text and a closing "\n", runs the library's shutdown sequence, takes the API lock
// apart and ends the process with exit code -1. No message box.
[[noreturn]] void FatalError(const char* text);
[[noreturn]] void FatalErrorFormat(const char* format, ...) KV_PRINTF_LIKE(1, 2);
