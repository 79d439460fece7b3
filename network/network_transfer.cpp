// Moving bytes: the receive and send pumps of length-prefixed connections (4-byte little-endian length, then
// the message) and the receive, peek and send operations of both modes. The peer's length is not trusted:
// it is read unsigned and checked in 64 bits, and the buffer grows only as the message's bytes arrive.
#include <windows.h>

#include <limits.h>
#include <stdint.h>
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

int64_t g_totalHeld = 0;
int32_t g_holdLimit = kNetWorkReceiveHoldLimit;
int64_t g_totalLimit = kNetWorkReceiveTotalLimit;

// A connection was left readable with bytes it may read (the pass's budget ran out, or a notification only
// marked it): the next pass walks the table.
bool g_readablePending = false;
// Slot where the next pass starts dealing out its budget: those that the last pass could not serve go first.
int g_serveCursor = 0;

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
    if (got == 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
        record->streamFlags |= kNetWorkReceiveEnded;
        // The peer's end, seen once its bytes are read: the system posts FD_CLOSE only then, and not at all
        // while bytes still wait, so this is the close event of a connection read to its end.
        if (record->connected == 1) {
            record->connected = 0;
            record->lossReported = 0;
        }
    }
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
        // within the read-ahead grows to it, and one within the hold limit to that, not past them.
        RingBuffer& ring = record->receiveBuffer;
        const int32_t settle = (int64_t)ring.heldCount + count <= kNetWorkReadAhead ? kNetWorkReadAhead : g_holdLimit;
        if (RingBufferReserveSettling(&ring, count, settle) != 0) {
            return FailReceiveGrowth(record, (uint32_t)record->receiveRemaining);
        }
        RingBufferAdd(&ring, bytes, take);
        g_totalHeld += take;
        record->receiveRemaining -= take;
        g_receivedBytes += (unsigned long long)take;
        bytes += take;
        count -= take;
    }
    return 0;
}

// The limit's line, once until the program takes bytes again.
void LogReceiveLimit(NetWorkRecord* record, int handle) {
    if ((record->streamFlags & kNetWorkLimitLogged) != 0) return;
    record->streamFlags |= kNetWorkLimitLogged;
    if (record->receiveBuffer.heldCount >= g_holdLimit) {
        WriteLogFormat("受信データが一接続の上限 %d byte に達したので、受け取られるまで受信を止めます(ハンドル %x)\n",
                       g_holdLimit, handle);
    } else {
        WriteLogFormat("受信データが全接続の合計の上限 %d byte に達したので、受け取られるまで受信を止めます(ハンドル %x)\n",
                       (int)g_totalLimit, handle);
    }
}

// What the next recv may read under the read-ahead (see kNetWorkReadAhead) or, reading freely, the limits: 0
// while the read-ahead holds the ring (it refills only from half of its span).
// A caller that waits to hold this many bytes (kNetWorkNeedsAll: as many as come). Set for the length of one
// RecvSocketForWaitingCaller; outside one, the record's flag alone decides (the close reads all).
int32_t g_callerNeeds = kNetWorkNeedsAll;

int32_t NextReadWant(const NetWorkRecord* record) {
    const RingBuffer& ring = record->receiveBuffer;
    if ((record->streamFlags & kNetWorkReadFreely) != 0) {
        const int32_t want = NetWorkReceiveWant(record);
        if (g_callerNeeds == kNetWorkNeedsAll) return want;
        // What the caller waits for, at least the read-ahead's span; past it, the rest of the message in
        // progress, which is what a waiting caller most likely waits for.
        int64_t room = (int64_t)(g_callerNeeds > kNetWorkReadAhead ? g_callerNeeds : kNetWorkReadAhead) - ring.heldCount;
        if (room <= 0) room = record->headerReceived != 0 ? 4 - record->headerReceived : record->receiveRemaining;
        return room < want ? (int32_t)room : want;
    }
    const bool refill = ring.heldCount <= kNetWorkReadAhead / 2;
    if (!refill) return 0;
    const int32_t want = NetWorkReceiveWant(record);
    const int32_t room = kNetWorkReadAhead - ring.heldCount;
    return room < want ? room : want;
}

// Reads while the socket has bytes, as far as NextReadWant allows, at most `maxBytes` in `maxCalls` recvs;
// *read gets the bytes read and *calls the recvs made. A connection left with bytes in the socket is marked:
// paused by the read-ahead (a caller that waits or takes reads on), at a limit (logged), or, when the budget
// ran out, left for the next pass. No recv is tried without an FD_READ (or FD_CLOSE) since the socket was
// last found empty.
int ReceiveInto(NetWorkRecord* record, int handle, int64_t maxBytes, int maxCalls, int64_t* read, int* calls) {
    if (record->lengthPrefixMode == 0) return 0;
    record->streamFlags &= ~kNetWorkReadPaused;
    for (int32_t want = NextReadWant(record); (record->streamFlags & kNetWorkReadable) != 0 && want > 0;
         want = NextReadWant(record)) {
        if (maxBytes <= 0 || *calls >= maxCalls) {
            NoteNetWorkReadable();
            return 0;
        }
        if (want > maxBytes) want = (int32_t)maxBytes;
        ++*calls;
        const int got = PumpRecv(record, want);
        if (got <= 0) return 0;
        maxBytes -= got;
        *read += got;
        if (TakeStreamBytes(record, g_receiveScratch, got) != 0) return -1;
    }
    if ((record->streamFlags & kNetWorkReadable) != 0) {
        if (NetWorkReceiveWant(record) == 0) {
            LogReceiveLimit(record, handle);
            // Bytes taken from any connection lift the total: the passes look again.
            if (GetNetWorkTotalHeld() >= g_totalLimit) NoteNetWorkReadable();
        } else {
            record->streamFlags |= kNetWorkReadPaused;
        }
    }
    return 0;
}

// The receive pump for one handle, as a caller or a notification outside a drain asks: within the limits,
// with no budget but theirs.
int ReceivePump(int handle) {
    NetWorkRecord* record = ValidateNetWorkHandle(handle, "有効なネットワークハンドルではありません in RecvSocket\n",
                                                  "このネットワークハンドルにはエラーが発生しています in RecvSocket\n");
    if (record == nullptr) return -1;
    int64_t read = 0;
    int calls = 0;
    return ReceiveInto(record, handle, INT64_MAX, INT_MAX, &read, &calls);
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
int32_t NetWorkHoldLimit() { return g_holdLimit; }
int64_t NetWorkTotalLimit() { return g_totalLimit; }
void SetNetWorkReceiveLimitsForTest(int32_t perConnection, int64_t total) {
    g_holdLimit = perConnection > 0 ? perConnection : kNetWorkReceiveHoldLimit;
    g_totalLimit = total > 0 ? total : kNetWorkReceiveTotalLimit;
}
int64_t GetNetWorkTotalHeld() { return g_totalHeld; }
void AddNetWorkTotalHeld(int64_t delta) { g_totalHeld += delta; }
void NoteNetWorkReadable() { g_readablePending = true; }

void ServeReadableConnections() {
    if (!g_readablePending || g_receiving || GetNetworkState()->started == 0) return;
    g_readablePending = false;
    BusyFlag flag(g_receiving);
    NetWorkPumpHold hold;
    NetworkState* state = GetNetworkState();
    // The connections that would read now, in slot order from the cursor on.
    static int order[kNetWorkSlotCount];
    int count = 0;
    for (int i = 0; i < kNetWorkSlotCount; ++i) {
        const int slot = (g_serveCursor + i) % kNetWorkSlotCount;
        NetWorkRecord* record = state->records[slot];
        if (record == nullptr || !record->inUse || record->error != 0 || !record->lengthPrefixMode ||
            (record->streamFlags & kNetWorkReadable) == 0) {
            continue;
        }
        if (NextReadWant(record) > 0) {
            order[count++] = slot;
        } else if (NetWorkReceiveWant(record) > 0) {
            record->streamFlags |= kNetWorkReadPaused;
        }
    }
    // Each gets an equal share of what is left; what one does not use goes to those after it.
    int64_t bytesLeft = kNetWorkPassReadBytes;
    int callsLeft = kNetWorkPassRecvCalls;
    for (int i = 0; i < count; ++i) {
        if (bytesLeft <= 0 || callsLeft <= 0) {
            g_serveCursor = order[i];
            g_readablePending = true;
            return;
        }
        // Those that this pass can still serve: with more connections than recv calls, one call each.
        const int waiting = count - i;
        const int served = waiting < callsLeft ? waiting : callsLeft;
        const int64_t share = bytesLeft / served > 0 ? bytesLeft / served : 1;
        const int callShare = callsLeft / waiting > 0 ? callsLeft / waiting : 1;
        NetWorkRecord* record = state->records[order[i]];
        int64_t read = 0;
        int calls = 0;
        ReceiveInto(record, MakeNetWorkHandle(record->checkId, order[i]), share, callShare, &read, &calls);
        bytesLeft -= read;
        callsLeft -= calls;
    }
}
unsigned long long GetNetWorkReceivedByteCount() { return g_receivedBytes; }

int RecvSocket(int handle) { return RunPump(handle, g_receiving, g_receiveDeferred, ReceivePump); }

int RecvSocketForWaitingCaller(int handle, int32_t needs) {
    NetWorkRecord* record = FindNetWorkRecord(handle);
    if (record == nullptr || (record->streamFlags & kNetWorkReadFreely) != 0) return RecvSocket(handle);
    record->streamFlags |= kNetWorkReadFreely;
    g_callerNeeds = needs;
    const int result = RecvSocket(handle);
    g_callerNeeds = kNetWorkNeedsAll;
    record = FindNetWorkRecord(handle);
    if (record != nullptr) record->streamFlags &= ~kNetWorkReadFreely;
    return result;
}

int SendSocket(int handle) { return RunPump(handle, g_sending, g_sendDeferred, SendPump); }

namespace {

// NetWorkRecv and NetWorkRecvToPeek differ only in leaving the bytes where they are.
int Receive(int handle, void* buffer, int size, int peek, const char* notInUse, const char* inError) {
    if (GetNetworkState()->started == 0) return -1;
    PumpNetworkMessagesForCall();
    NetWorkPumpHold hold;  // one drain per call: the pumps below find the queue already seen
    NetWorkRecord* record = ValidateNetWorkHandle(handle, notInUse, inError);
    if (record == nullptr) return -1;
    // A caller that asks for more than is held waits for it: the read-ahead must not keep it back.
    const bool waiting = record->lengthPrefixMode != 0 && size > record->receiveBuffer.heldCount;
    if ((waiting ? RecvSocketForWaitingCaller(handle, size) : RecvSocket(handle)) == -1) return -1;
    record = FindNetWorkRecord(handle);
    if (record == nullptr) return -1;
    if (record->lengthPrefixMode == 0) {
        return recv(record->socket, static_cast<char*>(buffer), size, peek ? MSG_PEEK : 0);
    }
    RingBuffer& ring = record->receiveBuffer;
    if (RingBufferRead(&ring, buffer, size, peek) != 0) return -1;
    if (!peek) {
        AddNetWorkTotalHeld(-(int64_t)size);
        // Taking lifts a limit (its line may come again), ends a wait for the length, and gives back a block grown
        // for a backlog that is gone.
        record->streamFlags &= ~(kNetWorkLimitLogged | kNetWorkLengthAsks);
        const int64_t keep = (int64_t)ring.heldCount + kNetWorkReadAhead;
        if (ring.capacity > keep + keep / 2 + kRingBufferSlack) RingBufferShrink(&ring, (int32_t)keep);
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
