// Moving bytes: the receive and send pumps of length-prefixed connections (4-byte little-endian length, then
// the message) and the receive, peek and send operations of both modes. The peer's length is not trusted:
// it is read unsigned and checked in 64 bits, and the buffer grows only as the message's bytes arrive.
#include <windows.h>

#include <string.h>

#include "network/network_internal.h"
#include "runtime/text.h"

namespace {

// One busy flag per direction for all handles: a notification dispatched while a pump runs must not start
// a second pump on the same buffers.
int g_receiving = 0;
int g_sending = 0;

unsigned long g_recvCalls = 0;
unsigned long long g_receivedBytes = 0;

// A notification that arrives while its direction's pump runs is refused by the busy flag; since the
// system posts FD_READ and FD_WRITE only once per state change, the refused handle is noted and pumped once
// the running pump is done with its own, or its bytes would wait for a notification that never comes.
struct DeferredPumps {
    int handles[kNetWorkSlotCount];  // 0: nothing noted for the slot
    int count;
};
DeferredPumps g_receiveDeferred;
DeferredPumps g_sendDeferred;

void Defer(DeferredPumps& deferred, int handle) {
    const int slot = HandleSlotOf(handle);
    if (deferred.handles[slot] == 0) ++deferred.count;
    deferred.handles[slot] = handle;
}

// The next noted handle, taken off the list, or 0.
int TakeDeferred(DeferredPumps& deferred) {
    for (int slot = 0; slot < kNetWorkSlotCount && deferred.count > 0; ++slot) {
        const int handle = deferred.handles[slot];
        if (handle == 0) continue;
        deferred.handles[slot] = 0;
        --deferred.count;
        return handle;
    }
    return 0;
}

class BusyFlag {
   public:
    explicit BusyFlag(int& flag) : flag_(flag) { flag_ = 1; }
    ~BusyFlag() { flag_ = 0; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

   private:
    int& flag_;
};

int FailReceiveGrowth(NetWorkRecord* record, uint32_t length) {
    WriteLogFormat("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)", (int)length);
    record->error = 1;
    record->receiveRemaining = 0;
    record->headerReceived = 0;
    return -1;
}

// Bytes as the socket gives them, headers and message bytes together: one recv serves many small messages,
// where a recv per header and per message cost two system round trips (and two FD_READ posts) each.
unsigned char g_receiveScratch[kNetWorkReceiveChunk];

// One recv of the receive pump into the scratch. A count below the size asked means the socket is empty for
// now (the system posts FD_READ again once bytes come, since recv re-arms it); would-block likewise; 0 or
// another error means no byte will ever come.
int PumpRecv(NetWorkRecord* record, int32_t want) {
    ++g_recvCalls;
    const int got = recv(record->socket, reinterpret_cast<char*>(g_receiveScratch), want, 0);
    if (got >= want) return got;
    record->streamFlags &= ~kNetWorkReadable;
    if (got > 0) return got;
    if (got == 0 || WSAGetLastError() != WSAEWOULDBLOCK) record->streamFlags |= kNetWorkReceiveEnded;
    return got;
}

// Splits received bytes into headers and message bytes. A partial header stays in the record (in
// receiveRemaining, headerReceived counting its bytes); message bytes go to the ring, which grows only for
// bytes that came, so a length header commits nothing by itself. The peer's length is read unsigned and
// checked in 64 bits. 0, or -1 when a length or the bytes cannot be held (the record is then in error).
int TakeStreamBytes(NetWorkRecord* record, const unsigned char* bytes, int32_t count) {
    auto* header = reinterpret_cast<unsigned char*>(&record->receiveRemaining);
    while (count > 0) {
        if (record->receiveRemaining == 0 || record->headerReceived != 0) {
            int32_t take = 4 - record->headerReceived;
            if (take > count) take = count;
            MoveBytes(header + record->headerReceived, bytes, (size_t)take);
            record->headerReceived += take;
            bytes += take;
            count -= take;
            if (record->headerReceived < 4) return 0;
            record->headerReceived = 0;
            uint32_t length;
            memcpy(&length, header, 4);
            const int64_t total = (int64_t)record->receiveBuffer.heldCount + length + kRingBufferSlack;
            if (length > (uint32_t)INT32_MAX || total > INT32_MAX) return FailReceiveGrowth(record, length);
            record->receiveRemaining = (int32_t)length;
            continue;  // an empty message is complete at once
        }
        const int32_t take = record->receiveRemaining < count ? record->receiveRemaining : count;
        // Room for everything this recv brought at once (bytes that came, headers counted): one growth per
        // recv rather than one per message, each of which would copy the held bytes into fresh memory. A ring
        // within the read-ahead grows to it, not past it.
        if (RingBufferReserveSettling(&record->receiveBuffer, count, kNetWorkReadAhead) != 0) {
            return FailReceiveGrowth(record, (uint32_t)record->receiveRemaining);
        }
        RingBufferAdd(&record->receiveBuffer, bytes, take);
        record->receiveRemaining -= take;
        g_receivedBytes += (unsigned long long)take;
        bytes += take;
        count -= take;
    }
    return 0;
}

// Reads while the socket has bytes, within the read-ahead (from half of the span up to the span; see
// kNetWorkReadAhead) or, for a program that stopped taking, up to the hold limit (and the rest of the message
// in progress): one call takes at most the limit plus one chunk, so a pass stays short whatever the peer sends
// (a longer message goes on in the next pass), and the rest waits in the socket until the caller has taken
// bytes (NetWorkRecv pumps again after taking). No recv is tried without an FD_READ (or FD_CLOSE)
// since the socket was last found empty, and nothing is pumped in between: notifications dispatched here
// would only be deferred.
int ReceivePump(int handle) {
    NetWorkRecord* record = ValidateNetWorkHandle(handle, "有効なネットワークハンドルではありません in RecvSocket\n",
                                                  "このネットワークハンドルにはエラーが発生しています in RecvSocket\n");
    if (record == nullptr) return -1;
    if (record->lengthPrefixMode == 0) return 0;
    record->streamFlags &= ~kNetWorkReadPaused;
    const bool refill = (record->streamFlags & kNetWorkReadFreely) != 0 ||
                        record->receiveBuffer.heldCount <= NetWorkReadAheadSpan(record->receiveBuffer) / 2;
    int64_t budget = (int64_t)kNetWorkReceiveHoldLimit + kNetWorkReceiveChunk;
    for (int32_t want = refill ? NetWorkReadAheadWant(record) : 0;
         (record->streamFlags & kNetWorkReadable) != 0 && want > 0 && budget > 0; want = NetWorkReadAheadWant(record)) {
        const int got = PumpRecv(record, want);
        if (got <= 0) return 0;
        budget -= got;
        if (TakeStreamBytes(record, g_receiveScratch, got) != 0) return -1;
    }
    // Bytes the hold limit would take are left in the socket: the closing pass lets them in if the program
    // stops taking (it may be waiting for a message longer than the read-ahead holds).
    if ((record->streamFlags & kNetWorkReadable) != 0 && NetWorkReceiveWant(record) > 0) {
        record->streamFlags |= kNetWorkReadPaused;
    }
    return 0;
}

// A failed send: would-block waits for the FD_WRITE it arms; an error that says the connection is gone (reset,
// aborted, shut down) marks the record, so that a close does not spend its send flush on bytes that can no
// longer arrive.
void NoteSendFailure(NetWorkRecord* record) {
    switch (WSAGetLastError()) {
    case WSAEWOULDBLOCK:
        record->streamFlags &= ~kNetWorkWritable;
        break;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENETRESET:
    case WSAESHUTDOWN:
    case WSAENOTCONN:
    case WSAETIMEDOUT:
        record->streamFlags |= kNetWorkSendEnded;
        break;
    default:
        break;
    }
}

// A message's header goes out with its first bytes, copied together here: a system call per message where a
// send for the header and one for the bytes cost two. Larger messages send the rest straight from the ring.
constexpr int32_t kSendStageSize = 256 << 10;
char g_sendStage[kSendStageSize];

// One send of the message's unsent header bytes with as many of its bytes as the stage holds, or, once the
// header is out, of its bytes from the read position up to the end of the ring. Takes what went out off the
// header and the ring. The count sent, or 0 when the socket took nothing.
int SendMessageBytes(NetWorkRecord* record) {
    RingBuffer& ring = record->sendBuffer;
    RingBufferNormalise(&ring);
    const int32_t pending = record->headerBytesPending;
    const int32_t toEnd = ring.capacity - ring.readPosition;
    int32_t count = record->sendRemaining;
    const char* from = reinterpret_cast<const char*>(ring.data) + ring.readPosition;
    if (pending > 0) {
        if (count > kSendStageSize - pending) count = kSendStageSize - pending;
        MoveBytes(g_sendStage, reinterpret_cast<const char*>(&record->sendRemaining) + (4 - pending), (size_t)pending);
        const int32_t first = count < toEnd ? count : toEnd;
        MoveBytes(g_sendStage + pending, from, (size_t)first);
        MoveBytes(g_sendStage + pending + first, ring.data, (size_t)(count - first));
        count += pending;
        from = g_sendStage;
    } else if (count > toEnd) {
        count = toEnd;
    }
    const int got = send(record->socket, from, count, 0);
    if (got == SOCKET_ERROR) {
        NoteSendFailure(record);
        return 0;
    }
    int32_t left = got;
    const int32_t headerSent = left < pending ? left : pending;
    record->headerBytesPending -= headerSent;
    left -= headerSent;
    if (left > 0) {
        ring.readPosition = (int32_t)(((int64_t)ring.readPosition + left) % ring.capacity);
        ring.heldCount -= left;
        record->sendRemaining -= left;
    }
    return got;
}

// Sends until the socket refuses; the socket's own buffer bounds one call. No send is tried after a
// would-block until FD_WRITE says there is room again.
int SendPump(int handle) {
    NetWorkRecord* record = ValidateNetWorkHandle(handle, "有効なネットワークハンドルではありません in SendSocket\n",
                                                  "このネットワークハンドルにはエラーが発生しています in SendSocket\n");
    if (record == nullptr) return -1;
    if (record->sendBuffer.heldCount == 0 || record->lengthPrefixMode == 0) return 0;
    while ((record->streamFlags & kNetWorkWritable) != 0) {
        const bool starting = record->sendRemaining == 0 && record->headerBytesPending == 0;
        if (starting) {
            // Everything queued now is the next message; later additions form the one after it.
            record->sendRemaining = record->sendBuffer.heldCount;
            record->headerBytesPending = 4;
        }
        if (SendMessageBytes(record) <= 0) {
            if (starting) {  // not a byte of it went: the message has not started
                record->sendRemaining = 0;
                record->headerBytesPending = 0;
            }
            return 0;
        }
        // After a partial send, try again: only a send refused as would-block arms the next FD_WRITE, so
        // stopping on a short count would leave the rest waiting for a notification that never comes.
        if (record->sendBuffer.heldCount == 0) return 0;
    }
    return 0;
}

// Both pumps: the busy flag, one drain of the queued notifications (those for this direction are noted,
// not nested), the pump itself, then the noted handles one after the other. No recursion, however long
// the peers keep sending.
int RunPump(int handle, int& busy, DeferredPumps& deferred, int (*pump)(int)) {
    if (GetNetworkState()->started == 0 || FindNetWorkRecord(handle) == nullptr) return -1;
    if (busy) {
        Defer(deferred, handle);
        return -1;
    }
    BusyFlag flag(busy);
    PumpNetworkMessages(0);
    NetWorkPumpHold hold;
    const int result = pump(handle);
    for (int next = TakeDeferred(deferred); next != 0; next = TakeDeferred(deferred)) pump(next);
    return result;
}

}  // namespace

unsigned long GetNetWorkRecvCallCount() { return g_recvCalls; }
unsigned long long GetNetWorkReceivedByteCount() { return g_receivedBytes; }

int RecvSocket(int handle) { return RunPump(handle, g_receiving, g_receiveDeferred, ReceivePump); }

int SendSocket(int handle) { return RunPump(handle, g_sending, g_sendDeferred, SendPump); }

namespace {

// NetWorkRecv and NetWorkRecvToPeek differ only in leaving the bytes where they are.
int Receive(int handle, void* buffer, int size, int peek, const char* notInUse, const char* inError) {
    if (GetNetworkState()->started == 0) return -1;
    PumpNetworkMessagesForCall();
    NetWorkPumpHold hold;  // one drain per call: the pumps below find the queue already seen
    NetWorkRecord* record = ValidateNetWorkHandle(handle, notInUse, inError);
    if (record == nullptr) return -1;
    if (RecvSocket(handle) == -1) return -1;
    record = FindNetWorkRecord(handle);
    if (record == nullptr) return -1;
    if (record->lengthPrefixMode == 0) {
        return recv(record->socket, static_cast<char*>(buffer), size, peek ? MSG_PEEK : 0);
    }
    if (RingBufferRead(&record->receiveBuffer, buffer, size, peek) != 0) return -1;
    if (!peek) {
        // Taking again: back to the read-ahead.
        record->streamFlags = (record->streamFlags | kNetWorkTook) & ~kNetWorkReadFreely;
        RecvSocket(handle);
    }
    return 0;
}

}  // namespace

int NetWorkRecv(int handle, void* buffer, int size) {
    if (size < 0) return -1;
    return Receive(handle, buffer, size, 0, "有効なネットワークハンドルではありません in NetWorkRecv\n",
                   "このネットワークハンドルにはエラーが発生しています in NetWorkRecv\n");
}

int NetWorkRecvToPeek(int handle, void* buffer, int size) {
    if (size < 0) {
        WriteLogFormat("受信サイズ %d byte は不正です in NetWorkRecvToPeek", size);
        return -1;
    }
    return Receive(handle, buffer, size, 1, "有効なネットワークハンドルではありません in NetWorkRecvToPeek\n",
                   "このネットワークハンドルにはエラーが発生しています in NetWorkRecvToPeek\n");
}

int NetWorkSend(int handle, const void* data, int length) {
    if (GetNetworkState()->started == 0) return -1;
    PumpNetworkMessagesForCall();
    NetWorkPumpHold hold;
    NetWorkRecord* record = ValidateNetWorkHandle(handle, "有効なネットワークハンドルではありません in NetWorkSend\n",
                                                  "このネットワークハンドルにはエラーが発生しています in NetWorkSend\n");
    if (record == nullptr) return -1;
    if (record->connected == 0) return -1;
    if (length < 0) {
        WriteLogFormat("送信データ %d byte は不正な長さです in NetWorkSend", length);
        return -1;
    }
    SendSocket(handle);
    record = FindNetWorkRecord(handle);
    if (record == nullptr) return -1;
    if (record->lengthPrefixMode == 0) return send(record->socket, static_cast<const char*>(data), length, 0);
    if (RingBufferAdd(&record->sendBuffer, data, length) != 0) {
        WriteLogFormat("送信データ %d byte の追加に失敗しました in NewWorkSend", length);
        return -1;
    }
    SendSocket(handle);
    return 0;
}
