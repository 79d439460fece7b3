// The small HTTP/1.0 client over raw-stream network handles: up to 100 requests, each advanced one step per
// message-processing pass, bodies written to a file in 4096-byte chunks or into one memory block.
#pragma once

#include <windows.h>

constexpr int kHttpRequestSlots = 100;
// Body bytes one request takes in one service pass. The rest waits in the socket for the next pass, so a
// long download cannot hold the pump: 1 MB is about a millisecond of copying on loopback, and at the
// runtime's 60 or more passes a second a download still runs at 60 MB/s or better.
constexpr int kHttpBodyBytesPerPass = 1 << 20;
// Largest body taken into memory. Memory mode is for answers a program keeps whole; a larger
// Content-Length fails the request at once (result 2, detail 2, logged) instead of letting one server
// claim a good part of the i686 build's address space. Bodies of any size can go to a file.
constexpr int kHttpMemoryBodyLimit = 64 << 20;
// First block of a memory body; it doubles as the bytes arrive (never past the Content-Length), so a
// length that the server never sends commits nothing beyond this.
constexpr int kHttpMemoryBodyFirstBlock = 64 << 10;

enum HttpKind { kHttpGet = 0, kHttpPost = 1, kHttpHead = 2 };

// Result 2 details.
enum HttpDetail {
    kHttpDetailOtherStatus = 0,  // a status other than 200 and 404, or a malformed answer
    kHttpDetailNotFound = 1,
    kHttpDetailNoMemory = 2,
    kHttpDetailConnectionEnded = 3,
};

struct HttpRequestRecord {
    int kind;
    int state;
    int result;   // -1 while running, 0 success, 2 failure
    int detail;   // -1 while running and after success
    int connection;
    int outputMode;  // 0 body to the file, 1 body to memory
    HANDLE file;
    void** bodyPointerLocation;
    int contentLength;  // -1 unknown
    int received;
    char host[128];
    char path[256];
    void* postData;
    int postLength;
    int port;
    // The request text and post data, sent from `sentCount` over as many passes as the socket needs.
    char* outgoing;
    int outgoingLength;
    int sentCount;
    int bodyCapacity;  // size of the memory body's block so far (output mode 1)
};

struct HttpRequestTable {
    HttpRequestRecord* slots[kHttpRequestSlots];
    int count;
};

int HttpTableClear();
int HttpShutDown();
int ServiceHttpRequests();
// Each returns 0, or -1 for an index outside 0..99 or an empty slot (steps also return 0 while waiting).
int ServiceHttpRequest(int index);
int HttpGet(int index);
int HttpPost(int index);
int HttpHead(int index);
// Ends a request (closes its connection and file, frees the post data); a finished request keeps its first
// result and detail. A failure also frees the memory body and clears the caller's pointer.
int HttpFinishRequest(int index, int result, int detail);
int HttpEndRequest(int index);  // finishes a running request as a success, then frees it
int HttpEndAllRequests();
int HttpFreeSlot(int index);
// Takes one answer line (without its LF; a CR stays) into a 256-byte buffer. 0 with a line, -1 while no
// complete line is there, -2 for a line that can never be taken (over 254 bytes, or holding a NUL).
int HttpReadLine(int connection, char* line);
int HttpParseNumber(const char* text);  // the number after the first blank, or -1

// ---- Not called by the program: creating requests and reading their outcome ----
struct HttpRequestFields {
    int kind;
    const char* host;  // under 128 bytes
    int port;
    const char* path;  // under 256 bytes
    const void* postData;
    int postLength;
    HANDLE file;                 // output mode 0: the request owns it and closes it at the finish
    void** bodyPointerLocation;  // not null: output mode 1; receives a tracked block the caller frees
    int connectTimeoutMs;
};
// Connects (bounded) and puts the request in a free slot. The index, or -1 (logged).
int HttpCreateRequest(const HttpRequestFields& fields);
// Result, detail and content length of a live slot. 0, or -1 for an empty slot.
int HttpGetRequestState(int index, int* result, int* detail, int* contentLength);
// Body bytes received so far by a live slot, or -1 for an empty slot.
int HttpGetRequestReceived(int index);
