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

// Held bytes at which the receive pump stops reading a connection until the program takes some, per
// connection and across all of them: a peer that streams faster than the program reads waits in its own
// socket instead of in our memory. A program gets every message up to the per-connection limit; the total
// keeps many such peers within what the i686 build's 2 GB address space can spare (rings stay within half
// again of what they hold plus the read-ahead).
constexpr int32_t kNetWorkReceiveHoldLimit = 64 << 20;
constexpr int64_t kNetWorkReceiveTotalLimit = 256 << 20;
// Most bytes one recv of the receive pump takes, headers included: enough for a 64 KB message and its
// neighbours in one system call.
constexpr int32_t kNetWorkReceiveChunk = 256 << 10;

// Read-ahead of reads that no caller waits for (a notification, the refill after a program took bytes): the
// pump refills the ring only once it is down to half of this span and then fills the span, so a burst waits in the socket, as it would for a plain reader, instead of growing the ring.
// Every growth is fresh memory that the system must map page by page. A caller that waits reads past it: one
// that asks for more than is held reads what it asks for (and the rest of the message in progress); one that
// asks for the length again without having taken anything reads twice the span and the message in progress,
// twice as much at each further ask, up to the limits: a program waiting for a long message gets it within a
// few asks, and one that takes what comes keeps the ring small.
constexpr int32_t kNetWorkReadAhead = 256 << 10;

// What one pass (one drain of the socket window's queue with the reads it brings) may read over every
// connection: notifications only mark a connection readable, and the pass deals these out fairly, so that
// many flooding peers cannot make a pass long. The rest is read on later passes.
constexpr int32_t kNetWorkPassReadBytes = 512 << 10;
constexpr int32_t kNetWorkPassRecvCalls = 16;

// The limits in force: the constants above unless a test lowered them to show their effect cheaply.
int32_t NetWorkHoldLimit();
int64_t NetWorkTotalLimit();
void SetNetWorkReceiveLimitsForTest(int32_t perConnection, int64_t total);  // 0, 0: the constants again
// Bytes held in the receive rings of every connection.
int64_t GetNetWorkTotalHeld();
void AddNetWorkTotalHeld(int64_t delta);

// NetWorkRecord::streamFlags.
constexpr int32_t kNetWorkReadable = 1;       // an FD_READ came since a recv last found the socket empty
constexpr int32_t kNetWorkReceiveEnded = 2;   // recv said the peer closed (0) or failed: no byte will come
constexpr int32_t kNetWorkSendEnded = 4;      // a send failed as reset, aborted or shut down, or the close
                                              // notification carried an error: no queued byte will arrive
constexpr int32_t kNetWorkWritable = 8;       // no send has been refused as would-block since the last FD_WRITE
constexpr int32_t kNetWorkLimitLogged = 16;   // the limit's line was written; the program has taken nothing since
constexpr int32_t kNetWorkReadPaused = 32;    // the read-ahead left bytes in the socket that the limits allow
constexpr int32_t kNetWorkReadFreely = 64;    // a caller waits (or the handle is closing): read up to the limits
// Bits 8-11: how often the program asked for the length without taking anything since (0..8).
constexpr int32_t kNetWorkLengthAsksShift = 8;
constexpr int32_t kNetWorkLengthAsks = 15 << kNetWorkLengthAsksShift;

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

// Bytes the receive pump may read next: up to a chunk, never past either limit; 0 at a limit.
inline int32_t NetWorkReceiveWant(const NetWorkRecord* record) {
    int64_t room = (int64_t)NetWorkHoldLimit() - record->receiveBuffer.heldCount;
    const int64_t totalRoom = NetWorkTotalLimit() - GetNetWorkTotalHeld();
    if (totalRoom < room) room = totalRoom;
    if (room <= 0) return 0;
    return room < kNetWorkReceiveChunk ? (int32_t)room : kNetWorkReceiveChunk;
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
// RecvSocket for a caller that waits to hold `needs` bytes (kNetWorkNeedsAll: as many as have come): reads past
// the read-ahead up to that and the rest of the message in progress, within the limits.
constexpr int32_t kNetWorkNeedsAll = 0;
int RecvSocketForWaitingCaller(int handle, int32_t needs);
// One pass's reads: the connections left readable are read within the pass's budget, dealt out fairly from
// where the last pass stopped. Run by PumpNetworkMessages after its drain.
void ServeReadableConnections();
// Notes that a connection was left readable, so that the next pass serves it.
void NoteNetWorkReadable();
int SendSocket(int handle);  // send pump (length-prefixed); 0 or -1
// "ネットワークログ。<text>[<WSAGetLastError>]". -1.
int LogNetworkError(const char* format, ...) KV_PRINTF_LIKE(1, 2);

// Diagnostics for tests and benchmarks, counted since the process started: socket notifications handled,
// recv calls made by the receive pump and the message bytes they took (also those of the last pass), and rounds of the close's receive
// and send flushes (each round waits a millisecond, so they show how long closes held the pump).
unsigned long GetSocketNotificationCount();
unsigned long GetNetWorkRecvCallCount();
unsigned long long GetNetWorkReceivedByteCount();
unsigned long GetNetWorkLastPassRecvCalls();
unsigned long long GetNetWorkLastPassBytes();
unsigned long GetNetWorkCloseFlushRoundCount();
// Closes whose receive flush ended on its bound with the message still unfinished.
unsigned long GetNetWorkCloseGiveUpCount();
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
