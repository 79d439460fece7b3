// HTTP/1.0 requests: the table, the per-pass service and the GET, POST and HEAD step functions, answer line
// reading and the finish. A request advances one step per pass and never blocks; an answer that can never
// complete (a line too long or holding a NUL, a malformed Content-Length, a connection that ended) fails it.
#include "network/http.h"

#include <string.h>

#include "network/network_internal.h"
#include "runtime/log.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace {

HttpRequestTable g_table;
// Body chunks on their way to a file; one buffer per kind that writes files, serialised by the lock.
char g_getChunk[4096];
char g_postChunk[4096];

constexpr int kLineBufferSize = 256;
constexpr int kLinePeekSize = 255;

HttpRequestRecord* RequestAt(int index) {
    if (index < 0 || index >= kHttpRequestSlots) return nullptr;
    return g_table.slots[index];
}

// Both state queries say the connection is over; -1 (the handle itself is gone) counts as over.
bool ConnectionEnded(int connection) {
    const int accepted = GetNetWorkAcceptState(connection);
    const int waiting = GetNetWorkDataLength(connection);
    return accepted <= 0 && waiting <= 0;
}

int FailMalformed(int index, const char* text) {
    WriteLog(text);
    return HttpFinishRequest(index, 2, kHttpDetailOtherStatus);
}

// A step found no complete line: wait for more unless the connection is over, when the line can never
// complete.
int AwaitLine(int index, int lineResult) {
    HttpRequestRecord* request = RequestAt(index);
    if (lineResult == -2) return FailMalformed(index, "HTTP の応答行が長すぎるか不正な文字を含んでいます\n");
    if (GetNetWorkAcceptState(request->connection) <= 0) {
        return HttpFinishRequest(index, 2, kHttpDetailConnectionEnded);
    }
    return 0;
}

int FormatRequestText(const HttpRequestRecord* request, char* text, size_t size) {
    switch (request->kind) {
    case kHttpGet:
        FormatString(text, size, "GET %s HTTP/1.0\r\nHost: %s:%d\r\nConnection: close\r\n\r\n", request->path,
                     request->host, request->port);
        break;
    case kHttpPost:
        FormatString(text, size, "POST %s HTTP/1.0\nHost: %s:%d\nContent-Length: %d\n\n", request->path,
                     request->host, request->port, request->postLength);
        break;
    default:
        FormatString(text, size, "HEAD %s HTTP/1.0\n\n", request->path);
        break;
    }
    return (int)strlen(text);
}

// State 0: the request text (and post data) go out from where the last pass stopped. 1 when all is out,
// 0 while the socket takes no more, -1 after the request has been failed.
int SendRequest(int index) {
    HttpRequestRecord* request = RequestAt(index);
    if (request->outgoing == nullptr) {
        // Host and path are bounded at creation, so the longest text fits with room to spare.
        char text[512];
        const int textLength = FormatRequestText(request, text, sizeof(text));
        const int postLength = request->kind == kHttpPost ? request->postLength : 0;
        request->outgoing = static_cast<char*>(TrackedAlloc((size_t)textLength + (size_t)postLength, "", 0));
        if (request->outgoing == nullptr) {
            HttpFinishRequest(index, 2, kHttpDetailNoMemory);
            return -1;
        }
        MoveBytes(request->outgoing, text, (size_t)textLength);
        if (postLength > 0) MoveBytes(request->outgoing + textLength, request->postData, (size_t)postLength);
        request->outgoingLength = textLength + postLength;
        request->sentCount = 0;
    }
    while (request->sentCount < request->outgoingLength) {
        WSASetLastError(0);
        const int sent = NetWorkSend(request->connection, request->outgoing + request->sentCount,
                                     request->outgoingLength - request->sentCount);
        if (sent < 0) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) return 0;
            HttpFinishRequest(index, 2, kHttpDetailConnectionEnded);
            return -1;
        }
        if (sent == 0) return 0;
        request->sentCount += sent;
    }
    TrackedFree(request->outgoing);
    request->outgoing = nullptr;
    return 1;
}

// States 1: the status line. 1 for 200; 0 while waiting or after finishing on another status.
int ReadStatus(int index, bool logOtherStatus) {
    HttpRequestRecord* request = RequestAt(index);
    char line[kLineBufferSize];
    const int got = HttpReadLine(request->connection, line);
    if (got != 0) {
        AwaitLine(index, got);
        return 0;
    }
    const int status = HttpParseNumber(line);
    if (status == 200) return 1;
    if (logOtherStatus) WriteLogFormat("接続に失敗しました (戻り値:%d)", status);
    HttpFinishRequest(index, 2, status == 404 ? kHttpDetailNotFound : kHttpDetailOtherStatus);
    return 0;
}

bool IsContentLengthLine(const char* line) {
    static const char kName[] = "content-length:";
    for (int i = 0; kName[i] != '\0'; ++i) {
        char c = line[i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != kName[i]) return false;
    }
    return true;
}

// The value of a Content-Length line: digits after the colon and optional blanks, nothing after them but
// blanks and the CR. -1 for a negative, non-numeric or overlong value.
int ParseContentLength(const char* line) {
    const char* p = line + 15;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p < '0' || *p > '9') return -1;
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p - '0');
        if (value > INT32_MAX) return -1;
        ++p;
    }
    while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
    return *p == '\0' ? (int)value : -1;
}

// Takes a Content-Length line into the request. 0, or -1 after failing it.
int TakeContentLength(int index, const char* line) {
    HttpRequestRecord* request = RequestAt(index);
    const int value = ParseContentLength(line);
    if (value < 0 || request->contentLength != -1) {
        FailMalformed(index, "HTTP の応答の Content-Length が不正です\n");
        return -1;
    }
    request->contentLength = value;
    return 0;
}

// State 2 of GET and POST: one header line per pass. 1 when the headers have ended, else 0.
int ReadHeaderLine(int index) {
    HttpRequestRecord* request = RequestAt(index);
    char line[kLineBufferSize];
    const int got = HttpReadLine(request->connection, line);
    if (got != 0) {
        AwaitLine(index, got);
        return 0;
    }
    if (FindCharMb(line, ':') == nullptr) {
        // Memory mode sizes its block by the length; without one no body byte could ever be taken.
        if (request->outputMode == 1 && request->contentLength < 0) {
            HttpFinishRequest(index, 2, kHttpDetailConnectionEnded);
            return 0;
        }
        return 1;
    }
    if (!IsContentLengthLine(line)) return 0;
    if (TakeContentLength(index, line) != 0) return 0;
    if (request->outputMode == 1) {
        if (request->contentLength > kHttpMemoryBodyLimit) {
            WriteLogFormat("HTTP の応答 %d byte はメモリに受け取れる大きさ %d byte を超えています", request->contentLength,
                           kHttpMemoryBodyLimit);
            HttpFinishRequest(index, 2, kHttpDetailNoMemory);
            return 0;
        }
        const int first =
            request->contentLength < kHttpMemoryBodyFirstBlock ? request->contentLength : kHttpMemoryBodyFirstBlock;
        *request->bodyPointerLocation = TrackedAlloc((size_t)first, "", 0);
        if (*request->bodyPointerLocation == nullptr) return HttpFinishRequest(index, 2, kHttpDetailNoMemory);
        request->bodyCapacity = first;
    }
    return 0;
}

// Doubles the memory body's block (up to the Content-Length) once the bytes have filled it. 0, or -1 when
// the block cannot grow; the old block stays in the caller's pointer for the finish to free.
int GrowMemoryBody(HttpRequestRecord* request) {
    if (request->bodyCapacity > request->received || request->bodyCapacity >= request->contentLength) return 0;
    const int64_t doubled = 2 * (int64_t)(request->bodyCapacity > 0 ? request->bodyCapacity : 1);
    const int size = doubled < request->contentLength ? (int)doubled : request->contentLength;
    void* block = TrackedAlloc((size_t)size, "", 0);
    if (block == nullptr) return -1;
    MoveBytes(block, *request->bodyPointerLocation, (size_t)request->received);
    TrackedFree(*request->bodyPointerLocation);
    *request->bodyPointerLocation = block;
    request->bodyCapacity = size;
    return 0;
}

// State 3 of GET and POST. With an unknown length, POST takes one chunk per pass; either takes at most
// kHttpBodyBytesPerPass bytes in one pass and goes on at the next.
int ReadBody(int index, char* chunk, bool oneChunkWhileUnknown) {
    HttpRequestRecord* request = RequestAt(index);
    int takenThisPass = 0;
    for (;;) {
        if (takenThisPass >= kHttpBodyBytesPerPass) return 0;
        int count;
        if (request->outputMode == 0) {
            int want = (int)sizeof(g_getChunk);
            if (want > kHttpBodyBytesPerPass - takenThisPass) want = kHttpBodyBytesPerPass - takenThisPass;
            if (request->contentLength >= 0 && request->contentLength - request->received < want) {
                want = request->contentLength - request->received;
            }
            count = NetWorkRecv(request->connection, chunk, want);
            if (count < 0) return 0;
            DWORD written = 0;
            if (count > 0) WriteFile(request->file, chunk, (DWORD)count, &written, nullptr);
        } else {
            if (GrowMemoryBody(request) != 0) return HttpFinishRequest(index, 2, kHttpDetailNoMemory);
            int want = request->bodyCapacity - request->received;
            if (want > kHttpBodyBytesPerPass - takenThisPass) want = kHttpBodyBytesPerPass - takenThisPass;
            auto* body = static_cast<char*>(*request->bodyPointerLocation);
            count = NetWorkRecv(request->connection, body + request->received, want);
            if (count < 0) return 0;
        }
        takenThisPass += count;
        request->received += count;
        const bool ended = ConnectionEnded(request->connection);
        const bool complete = request->contentLength >= 0 ? request->received >= request->contentLength : ended;
        if (complete) {
            request->state = 4;
            return HttpFinishRequest(index, 0, -1);
        }
        if (count == 0) return 0;
        if (oneChunkWhileUnknown && request->contentLength < 0) return 0;
    }
}

// GET and POST share their steps; they differ in the log line for another status and the chunking.
int StepGetOrPost(int index, bool isGet) {
    HttpRequestRecord* request = RequestAt(index);
    if (request == nullptr) return -1;
    switch (request->state) {
    case 0:
        if (SendRequest(index) != 1) return 0;
        request->state = 1;
        [[fallthrough]];
    case 1:
        if (ReadStatus(index, isGet) != 1) return 0;
        request->state = 2;
        [[fallthrough]];
    case 2:
        if (ReadHeaderLine(index) != 1) return 0;
        request->state = 3;
        [[fallthrough]];
    case 3:
        return ReadBody(index, isGet ? g_getChunk : g_postChunk, !isGet);
    case 4:
        return HttpFinishRequest(index, 0, -1);
    default:
        return 0;
    }
}

}  // namespace

int HttpTableClear() {
    FillBytes(&g_table, 0, sizeof(g_table));
    return 0;
}

int HttpShutDown() { return HttpEndAllRequests(); }

int ServiceHttpRequests() {
    const int count = g_table.count;
    if (count == 0) return 0;
    int handled = 0;
    for (int index = 0; index < kHttpRequestSlots && handled < count; ++index) {
        if (g_table.slots[index] == nullptr) continue;
        ServiceHttpRequest(index);
        ++handled;
    }
    return 0;
}

int HttpEndAllRequests() {
    const int count = g_table.count;
    if (count == 0) return 0;
    int handled = 0;
    for (int index = 0; index < kHttpRequestSlots && handled < count; ++index) {
        if (g_table.slots[index] == nullptr) continue;
        HttpEndRequest(index);
        ++handled;
    }
    return 0;
}

int ServiceHttpRequest(int index) {
    HttpRequestRecord* request = RequestAt(index);
    if (request == nullptr) return -1;
    if (request->result != -1) return 0;
    // A body read until the connection ends is complete, not failed, when it ends: the body step decides.
    const bool readingToEnd = request->state == 3 && request->contentLength < 0 && request->kind != kHttpHead;
    if (!readingToEnd && ConnectionEnded(request->connection)) {
        return HttpFinishRequest(index, 2, kHttpDetailConnectionEnded);
    }
    switch (request->kind) {
    case kHttpGet:
        return HttpGet(index);
    case kHttpPost:
        return HttpPost(index);
    case kHttpHead:
        return HttpHead(index);
    default:
        return 0;
    }
}

int HttpGet(int index) { return StepGetOrPost(index, true); }

int HttpPost(int index) { return StepGetOrPost(index, false); }

int HttpHead(int index) {
    HttpRequestRecord* request = RequestAt(index);
    if (request == nullptr) return -1;
    switch (request->state) {
    case 0:
        if (SendRequest(index) != 1) return 0;
        request->state = 1;
        [[fallthrough]];
    case 1:
        if (ReadStatus(index, false) != 1) return 0;
        request->state = 2;
        [[fallthrough]];
    case 2: {
        char line[kLineBufferSize];
        const int got = HttpReadLine(request->connection, line);
        if (got != 0) return AwaitLine(index, got);
        if (!IsContentLengthLine(line)) return 0;
        if (TakeContentLength(index, line) != 0) return 0;
        request->state = 3;
        return HttpFinishRequest(index, 0, -1);
    }
    case 3:
        return HttpFinishRequest(index, 0, -1);
    default:
        return 0;
    }
}

int HttpFinishRequest(int index, int result, int detail) {
    HttpRequestRecord* request = RequestAt(index);
    if (request == nullptr) return -1;
    if (request->connection != -1) {
        CloseNetWorkHandle(request->connection);
        request->connection = -1;
    }
    TrackedFree(request->postData);
    request->postData = nullptr;
    TrackedFree(request->outgoing);
    request->outgoing = nullptr;
    if (request->file != nullptr) {
        CloseHandle(request->file);
        request->file = nullptr;
    }
    if (request->result == -1) request->result = result;
    if (request->detail == -1) request->detail = detail;
    if (request->bodyPointerLocation != nullptr && request->result != 0) {
        TrackedFree(*request->bodyPointerLocation);
        *request->bodyPointerLocation = nullptr;
    }
    return 0;
}

int HttpEndRequest(int index) {
    if (RequestAt(index) == nullptr) return -1;
    HttpFinishRequest(index, 0, -1);
    return HttpFreeSlot(index);
}

int HttpFreeSlot(int index) {
    if (index < 0 || index >= kHttpRequestSlots) return -1;
    if (g_table.slots[index] == nullptr) return 0;
    TrackedFree(g_table.slots[index]);
    g_table.slots[index] = nullptr;
    --g_table.count;
    return 0;
}

int HttpReadLine(int connection, char* line) {
    char scratch[kLineBufferSize];
    FillBytes(scratch, 0, kLinePeekSize);
    const int peeked = NetWorkRecvToPeek(connection, scratch, kLinePeekSize);
    if (peeked <= 0) return -1;
    scratch[peeked] = '\0';
    char* end = FindCharMb(scratch, '\n');
    if (end == nullptr) {
        // A NUL hides the rest from the text search and a full peek without LF can never grow: either
        // line would stay in the socket for good.
        if (memchr(scratch, 0, (size_t)peeked) != nullptr || peeked == kLinePeekSize) return -2;
        return -1;
    }
    *end = '\0';
    CopyText(line, scratch);
    NetWorkRecv(connection, scratch, (int)(end - scratch) + 1);
    return 0;
}

int HttpParseNumber(const char* text) {
    const char* blank = FindCharMb(text, ' ');
    if (blank == nullptr) return -1;
    return ParseDecimal(blank);
}

int HttpCreateRequest(const HttpRequestFields& fields) {
    const bool memory = fields.bodyPointerLocation != nullptr;
    if (fields.kind < kHttpGet || fields.kind > kHttpHead || fields.host == nullptr || fields.path == nullptr ||
        strlen(fields.host) >= sizeof(HttpRequestRecord::host) || strlen(fields.path) >= sizeof(HttpRequestRecord::path) ||
        fields.port <= 0 || fields.port > 65535 || fields.postLength < 0 ||
        (fields.postLength > 0 && fields.postData == nullptr) ||
        (!memory && fields.kind != kHttpHead && (fields.file == nullptr || fields.file == INVALID_HANDLE_VALUE))) {
        return WriteLog("HTTP リクエストの指定が不正です\n");
    }
    int index = 0;
    while (index < kHttpRequestSlots && g_table.slots[index] != nullptr) ++index;
    if (index == kHttpRequestSlots) return WriteLog("HTTP リクエストの空きがありません\n");

    auto* request = static_cast<HttpRequestRecord*>(TrackedAllocZeroed(sizeof(HttpRequestRecord), "", 0));
    const int postLength = fields.kind == kHttpPost ? fields.postLength : 0;
    void* post = postLength > 0 ? TrackedAlloc((size_t)postLength, "", 0) : nullptr;
    if (request == nullptr || (postLength > 0 && post == nullptr)) {
        TrackedFree(request);
        TrackedFree(post);
        return WriteLog("HTTP リクエスト用のメモリの確保に失敗しました\n");
    }
    const int connection = ConnectNetWork(fields.host, fields.port, 1, 0, fields.connectTimeoutMs);
    if (connection < 0) {
        TrackedFree(request);
        TrackedFree(post);
        return -1;
    }
    if (postLength > 0) MoveBytes(post, fields.postData, (size_t)postLength);
    request->kind = fields.kind;
    request->result = -1;
    request->detail = -1;
    request->connection = connection;
    request->outputMode = memory ? 1 : 0;
    request->file = memory ? nullptr : fields.file;
    request->bodyPointerLocation = fields.bodyPointerLocation;
    if (memory) *fields.bodyPointerLocation = nullptr;
    request->contentLength = -1;
    CopyText(request->host, fields.host);
    CopyText(request->path, fields.path);
    request->postData = post;
    request->postLength = postLength;
    request->port = fields.port;
    g_table.slots[index] = request;
    ++g_table.count;
    return index;
}

int HttpGetRequestReceived(int index) {
    const HttpRequestRecord* request = RequestAt(index);
    return request == nullptr ? -1 : request->received;
}

int HttpGetRequestState(int index, int* result, int* detail, int* contentLength) {
    const HttpRequestRecord* request = RequestAt(index);
    if (request == nullptr) return -1;
    if (result != nullptr) *result = request->result;
    if (detail != nullptr) *detail = request->detail;
    if (contentLength != nullptr) *contentLength = request->contentLength;
    return 0;
}
