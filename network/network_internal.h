// What the network layer's own files share: the process-wide state, the per-connection record, the pumps,
// and the start pieces (WinSock, socket window, listening socket, outgoing connections) that the program
// never calls but hosts and tests use to drive a started network.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "network/network.h"
#include "network/ring_buffer.h"
#include "runtime/handle.h"
#include "runtime/log.h"

constexpr int kNetWorkConnectionSlots = 4096;
constexpr int kNetWorkListenSlot = 4096;  // the listening socket's record
constexpr int kNetWorkSlotCount = 4097;
constexpr long kNetWorkAcceptedEvents = FD_READ | FD_WRITE | FD_CLOSE;  // 35

// Held bytes at which the receive pump stops reading a connection (once the message in progress is whole)
// until the caller takes some: a peer that streams faster than the program reads waits in its own socket
// instead of in our memory. 4 MB holds a thousand 4 KB or sixty-four 64 KB messages, far more than a frame's
// worth at any sane rate, and keeps one connection's ring below about 8 MB (the growth doubles) even on the 2 GB
// address space of the i686 build.
constexpr int32_t kNetWorkReceiveHoldLimit = 4 << 20;
// Most bytes one recv of the receive pump takes, headers included: enough for a 64 KB message and its
// neighbours in one system call. The held bytes pass the hold limit only by the rest of one message.
constexpr int32_t kNetWorkReceiveChunk = 256 << 10;

// Read-ahead of a program that takes what it receives: the pump refills the ring only once it is down to half
// of its span (its capacity, at least this much) and then fills the span, so a burst waits in the socket, as it
// would for a plain reader, instead of growing the ring towards the hold limit. Every growth is fresh memory
// that the system must map page by page, and refilling only from half full keeps each recv large.
constexpr int32_t kNetWorkReadAhead = 256 << 10;

// NetWorkRecord::streamFlags.
constexpr int32_t kNetWorkReadable = 1;       // an FD_READ came since a recv last found the socket empty
constexpr int32_t kNetWorkReceiveEnded = 2;   // recv said the peer closed (0) or failed: no byte will come
constexpr int32_t kNetWorkSendEnded = 4;      // a send failed as reset, aborted or shut down, or the close
                                              // notification carried an error: no queued byte will arrive
constexpr int32_t kNetWorkWritable = 8;       // no send has been refused as would-block since the last FD_WRITE
constexpr int32_t kNetWorkTook = 16;          // NetWorkRecv took bytes since the last closing pass
constexpr int32_t kNetWorkReadPaused = 32;    // the read-ahead left bytes in the socket that the hold limit allows
constexpr int32_t kNetWorkReadFreely = 64;    // the program stopped taking while paused: read up to the hold
                                              // limit (it may wait for more than the read-ahead holds) until
                                              // it takes again

struct NetWorkRecord {
    int32_t inUse;
    int32_t error;             // the receive buffer could not grow: every operation refuses the handle
    int32_t connected;
    int32_t lossReported;      // 0 after a close event until GetNetWorkAcceptState reports it
    int32_t lengthPrefixMode;  // 1 length-prefixed messages, 0 raw stream
    int32_t autoClose;         // a reported loss lets PumpNetworkMessages(1) close the handle
    int32_t checkId;
    SOCKET socket;             // 0 after closing
    // Bytes of the incoming message still to come. While headerReceived is 1..3 it holds the header bytes
    // gathered so far, as sendRemaining holds the outgoing header while that is sent.
    int32_t receiveRemaining;
    RingBuffer receiveBuffer;
    RingBuffer sendBuffer;
    int32_t sendRemaining;       // bytes of the outgoing message still to send (also its header bytes)
    int32_t headerBytesPending;  // header bytes of the outgoing message not yet sent
    uint8_t peerAddress[4];      // IPv4, network order
    int32_t peerPort;            // network order, as accept gave it
    int32_t headerReceived;      // header bytes of the incoming message taken so far (0..3)
    int32_t streamFlags;         // the kNetWork... bits above; a new record starts readable and writable
    HandleChainNode chainNode;
};
#if !defined(_WIN64)
static_assert(sizeof(NetWorkRecord) == 116, "the network record is 116 bytes on i686");
#endif

// Bytes the receive pump may read next: below the hold limit, up to a chunk but never past the limit; at the
// limit, only what finishes the message in progress (its header, then its bytes), so that a message longer
// than the limit can still be held whole and taken; 0 at a message boundary, where reading waits for the caller.
inline int32_t NetWorkReceiveWant(const NetWorkRecord* record) {
    const int32_t held = record->receiveBuffer.heldCount;
    if (held < kNetWorkReceiveHoldLimit) {
        const int32_t room = kNetWorkReceiveHoldLimit - held;
        return room < kNetWorkReceiveChunk ? room : kNetWorkReceiveChunk;
    }
    if (record->headerReceived != 0) return 4 - record->headerReceived;
    return record->receiveRemaining < kNetWorkReceiveChunk ? record->receiveRemaining : kNetWorkReceiveChunk;
}

// The read-ahead's span for a receive ring: its capacity, at least kNetWorkReadAhead.
inline int32_t NetWorkReadAheadSpan(const RingBuffer& ring) {
    return ring.capacity > kNetWorkReadAhead ? ring.capacity : kNetWorkReadAhead;
}

// Bytes the receive pump reads next under the read-ahead (see kNetWorkReadAhead): NetWorkReceiveWant, at most
// up to the span unless the record reads freely.
inline int32_t NetWorkReadAheadWant(const NetWorkRecord* record) {
    const int32_t want = NetWorkReceiveWant(record);
    if (want == 0 || (record->streamFlags & kNetWorkReadFreely) != 0) return want;
    const RingBuffer& ring = record->receiveBuffer;
    const int32_t room = NetWorkReadAheadSpan(ring) - ring.heldCount;
    return room < want ? room : want;
}

struct NetworkState {
    NetWorkRecord* records[kNetWorkSlotCount];
    HandleChainNode chainHead;
    HandleChainNode chainTail;
    int32_t serialCounter;       // check id of the next record, 0..2047
    int32_t started;
    HWND socketWindow;
    int32_t rawStreamDefault;    // not 0: new connections are raw stream
    int32_t noAutoCloseDefault;  // not 0: new connections are not closed after a reported loss
    int32_t windowDestroyed;
};

// The one state; zeroed by NetworkShutDown. Tests reach it to fill the table or wind the serial counter.
NetworkState* GetNetworkState();
inline int MakeNetWorkHandle(int checkId, int slot) { return MakeHandle(kHandleTypeNetwork, checkId, slot); }
// The live record a handle names (handle shape, slot and check id), or null; logs nothing.
NetWorkRecord* FindNetWorkRecord(int handle);
// The common validation after the handle's shape: the record, or null after the operation's line for a
// record not in use or in error (no line for a stale handle).
NetWorkRecord* ValidateNetWorkHandle(int handle, const char* notInUse, const char* inError);
// A zeroed record in `slot`, linked into the chain with the current serial counter as its check id;
// connected 1, mode and auto-close from the defaults. Null (logged) when memory runs out.
NetWorkRecord* NewNetWorkRecord(int slot);
// Steps the serial counter once a new record has been set up (0..2047, wrapping).
void StepNetWorkSerial();
// Unlinks, closes the socket if any, frees both rings and the record, empties the slot.
void DiscardNetWorkRecord(int slot);
// First free connection slot (0..4095), or -1.
int FindFreeNetWorkSlot();

// While a hold stands, PumpNetworkMessages returns at once. A drain inside a running drain or pump could
// only dispatch notifications that meet busy flags and wait anyway, and every peek at the queue is a trip
// to the system; the notifications stay queued for the next pass.
// The drain at the start of a public operation: PumpNetworkMessages(0), except that a drain that found the
// queue empty within this millisecond is not repeated. Every peek is a trip to the system, a program calls
// these operations several times per message, and a notification posted since waits at most a millisecond
// (the pumps still try the socket whenever an earlier notification left it marked readable or writable).
int PumpNetworkMessagesForCall();

void HoldNetWorkPumps();
void ReleaseNetWorkPumps();
class NetWorkPumpHold {
   public:
    NetWorkPumpHold() { HoldNetWorkPumps(); }
    ~NetWorkPumpHold() { ReleaseNetWorkPumps(); }
    NetWorkPumpHold(const NetWorkPumpHold&) = delete;
    NetWorkPumpHold& operator=(const NetWorkPumpHold&) = delete;
};

int RecvSocket(int handle);  // receive pump (length-prefixed); 0 or -1
int SendSocket(int handle);  // send pump (length-prefixed); 0 or -1
// "ネットワークログ。<text>[<WSAGetLastError>]". -1.
int LogNetworkError(const char* format, ...) KV_PRINTF_LIKE(1, 2);

// Diagnostics for tests and benchmarks, counted since the process started: socket notifications handled,
// recv calls made by the receive pump and the message bytes they took, and rounds of the close's receive
// and send flushes (each round waits a millisecond, so they show how long closes held the pump).
unsigned long GetSocketNotificationCount();
unsigned long GetNetWorkRecvCallCount();
unsigned long long GetNetWorkReceivedByteCount();
unsigned long GetNetWorkCloseFlushRoundCount();
unsigned long GetNetWorkSendFlushRoundCount();

// ---- Start pieces (not called by the program) ----
// WinSock 1.1 and the hidden socket window, on the calling thread, which must be the one that pumps
// (ProcessMessage): a window's messages are seen only by its own thread. 0, or -1 (logged).
int StartNetWork();
// Listening socket on 127.0.0.1 or any address at `port` (0: any free port) with its record in slot 4096,
// registered for FD_ACCEPT. Returns its handle, or -1; *boundPort receives the port (may be null).
int StartListenNetWork(int port, int loopbackOnly, int* boundPort);
// Outgoing connection, connected within timeoutMs before notifications are registered (no FD_CONNECT
// race). Returns the new handle or -1.
int ConnectNetWork(const char* host, int port, int rawStream, int autoClose, int timeoutMs);
int SetNetWorkRawStreamDefault(int flag);    // 0
int SetNetWorkNoAutoCloseDefault(int flag);  // 0
// The peer's IPv4 bytes (network order) and port (host order). 0 or -1.
int GetNetWorkPeerAddress(int handle, unsigned char address[4], int* port);
