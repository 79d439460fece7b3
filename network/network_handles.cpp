// Network handles and socket events: the per-pass pump with its automatic closing, the notification handler,
// accepting on the listening socket, closing with the two bounded flushes, the state queries and shutdown.
// Every entry runs under the runtime's one lock; nothing here blocks except the close flushes.
#include <windows.h>

#include <mmsystem.h>
#include <stdarg.h>

#include "network/network_internal.h"
#include "runtime/memory.h"
#include "runtime/text.h"

namespace {

NetworkState g_state;
unsigned long g_notifications = 0;

// A marker posted behind the queued notifications bounds each drain: notifications posted while the
// drain runs (a peek that leaves data re-posts FD_READ at once) wait for the next pass.
constexpr UINT kDrainMarker = WM_USER + 262;
WPARAM g_markersPosted = 0;
WPARAM g_markersSeen = 0;

// Above 0 while a drain, a pump or a public operation that has drained once runs: PumpNetworkMessages then
// returns at once (see NetWorkPumpHold).
int g_pumpHolds = 0;
// When a drain last found the socket window's queue empty (see PumpNetworkMessagesForCall).
DWORD g_emptyDrainTick = 0;
bool g_emptyDrainSeen = false;
unsigned long g_closeFlushRounds = 0;
unsigned long g_closeFlushGiveUps = 0;
unsigned long g_sendFlushRounds = 0;

bool MarkerSeen(WPARAM marker) { return (INT_PTR)(g_markersSeen - marker) >= 0; }

}  // namespace

NetworkState* GetNetworkState() { return &g_state; }
unsigned long GetSocketNotificationCount() { return g_notifications; }

NetWorkRecord* FindNetWorkRecord(int handle) {
    if (handle < 0 || HandleTypeOf(handle) != kHandleTypeNetwork) return nullptr;
    const int slot = HandleSlotOf(handle);
    if (slot >= kNetWorkSlotCount) return nullptr;
    NetWorkRecord* record = g_state.records[slot];
    if (record == nullptr || record->checkId != HandleCheckIdOf(handle)) return nullptr;
    return record;
}

int FindFreeNetWorkSlot() {
    for (int slot = 0; slot < kNetWorkConnectionSlots; ++slot) {
        if (g_state.records[slot] == nullptr) return slot;
    }
    return -1;
}

NetWorkRecord* NewNetWorkRecord(int slot) {
    auto* record = static_cast<NetWorkRecord*>(TrackedAllocZeroed(sizeof(NetWorkRecord), "", 0));
    if (record == nullptr) {
        WriteLog("ソケット用のメモリの確保に失敗しました\n");
        return nullptr;
    }
    record->inUse = 1;
    record->connected = 1;
    record->lengthPrefixMode = g_state.rawStreamDefault == 0 ? 1 : 0;
    record->autoClose = g_state.noAutoCloseDefault == 0 ? 1 : 0;
    // Bytes may have come, and room is there, before the notifications were set up.
    record->streamFlags = kNetWorkReadable | kNetWorkWritable;
    NoteNetWorkReadable();
    record->checkId = g_state.serialCounter;
    RingBufferClear(&record->receiveBuffer);
    RingBufferClear(&record->sendBuffer);
    g_state.records[slot] = record;
    HandleChainLink(&g_state.chainHead, &record->chainNode, MakeNetWorkHandle(record->checkId, slot), record);
    return record;
}

void DiscardNetWorkRecord(int slot) {
    NetWorkRecord* record = g_state.records[slot];
    if (record == nullptr) return;
    HandleChainUnlink(&record->chainNode);
    AddNetWorkTotalHeld(-(int64_t)record->receiveBuffer.heldCount);
    if (record->socket != 0 && record->socket != INVALID_SOCKET) closesocket(record->socket);
    RingBufferFree(&record->receiveBuffer);
    RingBufferFree(&record->sendBuffer);
    record->inUse = 0;
    TrackedFree(record);
    g_state.records[slot] = nullptr;
}

void StepNetWorkSerial() { g_state.serialCounter = (g_state.serialCounter + 1) % kHandleCheckIdCount; }

int LogNetworkError(const char* format, ...) {
    const int error = WSAGetLastError();
    char text[1024];
    va_list args;
    va_start(args, format);
    FormatStringV(text, sizeof(text), format, args);
    va_end(args);
    return WriteLogFormat("ネットワークログ。%s[%d]", text, error);
}

void HoldNetWorkPumps() { ++g_pumpHolds; }
void ReleaseNetWorkPumps() { --g_pumpHolds; }
unsigned long GetNetWorkCloseFlushRoundCount() { return g_closeFlushRounds; }
unsigned long GetNetWorkCloseGiveUpCount() { return g_closeFlushGiveUps; }
unsigned long GetNetWorkSendFlushRoundCount() { return g_sendFlushRounds; }

namespace {
void DrainSocketWindow();
}  // namespace

int PumpNetworkMessages(int closeFirst) {
    if (g_state.socketWindow == nullptr || g_state.started == 0 || g_pumpHolds > 0) return 0;
    if (closeFirst == 1) {
        HandleChainNode* node = g_state.chainHead.next;
        while (node != nullptr && node != &g_state.chainTail) {
            HandleChainNode* next = node->next;
            const auto* record = static_cast<const NetWorkRecord*>(node->data);
            if (record->inUse &&
                ((record->connected == 0 && record->lossReported == 1 && record->autoClose == 1) || record->error == 1)) {
                CloseNetWorkHandle(node->handle);
            }
            node = next;
        }
    }
    DrainSocketWindow();
    ServeReadableConnections();
    return 0;
}

namespace {

void DrainSocketWindow() {
    // Only the window's own thread can take its messages; elsewhere there is nothing to drain. The peeks do
    // not yield: a pump runs several times per received message, and giving up the processor each time costs
    // milliseconds on a busy machine.
    HWND window = g_state.socketWindow;
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) return;
    // Each peek and post is a trip to the system: the first peek takes the first message, and the marker is
    // posted only once a second one is found, so the usual single notification costs two trips, and a longer
    // drain one per message and one for the marker. A drain still ends: behind the first message it takes
    // only what was queued before the marker.
    MSG message;
    if (!PeekMessageA(&message, window, 0, 0, PM_REMOVE | PM_NOYIELD)) {  // the usual case: nothing queued
        g_emptyDrainTick = timeGetTime();
        g_emptyDrainSeen = true;
        return;
    }
    g_emptyDrainSeen = false;
    NetWorkPumpHold hold;
    auto take = [](MSG& taken) {
        if (taken.message == kDrainMarker) {
            if (!MarkerSeen(taken.wParam)) g_markersSeen = taken.wParam;
        } else {
            TranslateMessage(&taken);
            DispatchMessageA(&taken);
        }
    };
    take(message);
    if (!PeekMessageA(&message, window, 0, 0, PM_REMOVE | PM_NOYIELD)) return;
    const WPARAM marker = ++g_markersPosted;
    if (PostMessageA(window, kDrainMarker, marker, 0) == 0) {
        take(message);  // no bound can be set: the rest waits for the next pass
        return;
    }
    do {
        take(message);
    } while (!MarkerSeen(marker) && PeekMessageA(&message, window, 0, 0, PM_REMOVE | PM_NOYIELD));
}

}  // namespace

int PumpNetworkMessagesForCall() {
    if (g_emptyDrainSeen && g_pumpHolds == 0 && timeGetTime() == g_emptyDrainTick) return 0;
    return PumpNetworkMessages(0);
}

namespace {

// True when a connection waits on the listening socket: one FD_ACCEPT may stand for several.
bool ConnectionPending(SOCKET listener) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener, &readable);
    timeval now = {0, 0};
    return select(0, &readable, nullptr, nullptr, &now) == 1;
}

// Accepts every connection waiting when the notification comes, at once: left for later notifications they
// fill the listen queue while the program is between passes, and the system then drops new connects, which
// retry only after a second. A notification whose connection was already taken accepts nothing and logs
// nothing. AcceptNetWork's result for the first.
int AcceptPending(const NetWorkRecord* listener) {
    if (!ConnectionPending(listener->socket)) return -1;
    const int result = AcceptNetWork();
    if (result == 1) {
        while (g_state.records[kNetWorkListenSlot] != nullptr && ConnectionPending(listener->socket) &&
               AcceptNetWork() == 1) {
        }
    }
    return result;
}

}  // namespace

LRESULT OnSocketMessage(HWND, UINT, WPARAM wparam, LPARAM lparam) {
    ++g_notifications;
    NetWorkRecord* record = nullptr;
    int handle = -1;
    for (HandleChainNode* node = g_state.chainHead.next; node != nullptr && node != &g_state.chainTail;
         node = node->next) {
        auto* candidate = static_cast<NetWorkRecord*>(node->data);
        if (candidate->socket == (SOCKET)wparam) {
            record = candidate;
            handle = node->handle;
            break;
        }
    }
    if (record == nullptr) {
        WriteLog("通信エラー No.1\n");
        return 0;
    }
    const int event = LOWORD(lparam);
    const int error = HIWORD(lparam);
    switch (event) {
    case FD_READ:
        // The pass that dispatched it reads within its budget; a notification dispatched elsewhere is read now.
        record->streamFlags |= kNetWorkReadable;
        NoteNetWorkReadable();
        if (g_pumpHolds == 0) ServeReadableConnections();
        break;
    case FD_WRITE:
        record->streamFlags |= kNetWorkWritable;
        SendSocket(handle);
        break;
    case FD_ACCEPT:
        return AcceptPending(record);
    case FD_CONNECT:
        if (error == 0) record->connected = 1;
        break;
    case FD_CLOSE:
        // The rest of the stream and then its end can be read without blocking; the system need not post
        // an FD_READ for the end itself.
        record->streamFlags |= kNetWorkReadable;
        NoteNetWorkReadable();
        // A close with an error word is a reset or an abort: nothing queued will be delivered. A clean one may
        // be a peer that only stopped sending and still reads, so the send flush goes on until a send fails.
        if (error != 0) record->streamFlags |= kNetWorkSendEnded;
        // A receive that read to the peer's end has already made this close event.
        if (record->connected == 1) {
            record->connected = 0;
            record->lossReported = 0;
        }
        break;
    default:
        break;
    }
    return 1;
}

int AcceptNetWork() {
    if (g_state.started == 0) return -1;
    PumpNetworkMessages(0);
    NetWorkRecord* listener = g_state.records[kNetWorkListenSlot];
    if (listener == nullptr) return -1;
    const int slot = FindFreeNetWorkSlot();
    if (slot < 0) {
        WriteLog("空きソケットデータがなかったので accept を拒否しました \n");
        return -1;
    }
    NetWorkRecord* record = NewNetWorkRecord(slot);
    if (record == nullptr) return -1;

    sockaddr_in address;
    int addressLength = (int)sizeof(address);
    record->socket = accept(listener->socket, reinterpret_cast<sockaddr*>(&address), &addressLength);
    if (record->socket == INVALID_SOCKET) {
        LogNetworkError("acceptに失敗しました");
        DiscardNetWorkRecord(slot);
        return -1;
    }
    MoveBytes(record->peerAddress, &address.sin_addr, 4);
    record->peerPort = address.sin_port;
    if (WSAAsyncSelect(record->socket, g_state.socketWindow, kSocketMessage, kNetWorkAcceptedEvents) != 0) {
        LogNetworkError("WSAAsyncSelectのエラー in AcceptNetWork");
        DiscardNetWorkRecord(slot);
        return -1;
    }
    StepNetWorkSerial();
    return 1;
}

int CloseNetWorkHandle(int handle) {
    if (g_state.started == 0) return -1;
    NetWorkRecord* record = FindNetWorkRecord(handle);
    if (record == nullptr || record->inUse == 0) return -1;
    // Nobody will take bytes any more: the receive flush reads as the hold limit allows, not the read-ahead.
    record->streamFlags |= kNetWorkReadFreely;
    PumpNetworkMessages(0);

    // The receive flush waits only while the rest of the message can still come: not for a record in error
    // (the pumps refuse it) or a peer known to have closed. The pump finishes a message in progress even at
    // the hold limit.
    auto restMayCome = [record] {
        return record->error == 0 && record->connected == 1 && (record->streamFlags & kNetWorkReceiveEnded) == 0 &&
               (record->receiveRemaining != 0 || record->headerReceived != 0);
    };
    DWORD start = timeGetTime();
    while (timeGetTime() - start < 1000 && restMayCome()) {
        ++g_closeFlushRounds;
        PumpNetworkMessages(0);
        RecvSocket(handle);
        Sleep(1);
    }
    if (restMayCome()) ++g_closeFlushGiveUps;  // the bound ended the wait, not the peer
    // The send flush ends as soon as the connection is known gone: a send failed as reset or aborted, or the
    // close notification carried such an error.
    start = timeGetTime();
    while (timeGetTime() - start < 1000 && record->error == 0 && (record->streamFlags & kNetWorkSendEnded) == 0 &&
           record->sendBuffer.heldCount > 0) {
        ++g_sendFlushRounds;
        PumpNetworkMessages(0);
        // Each round tries the socket, notified or not: a close called where the pumps are held sees no FD_WRITE.
        record->streamFlags |= kNetWorkWritable;
        SendSocket(handle);
        if (record->sendBuffer.heldCount > 0 && (record->streamFlags & kNetWorkSendEnded) == 0) Sleep(1);
    }

    WSAAsyncSelect(record->socket, g_state.socketWindow, 0, 0);
    closesocket(record->socket);
    record->socket = 0;
    record->connected = 0;
    record->lossReported = 1;
    DiscardNetWorkRecord(HandleSlotOf(handle));
    return 0;
}

NetWorkRecord* ValidateNetWorkHandle(int handle, const char* notInUse, const char* inError) {
    NetWorkRecord* record = FindNetWorkRecord(handle);
    if (record == nullptr) return nullptr;
    if (record->inUse == 0) {
        WriteLog(notInUse);
        return nullptr;
    }
    if (record->error == 1) {
        WriteLog(inError);
        return nullptr;
    }
    return record;
}

int GetNetWorkAcceptState(int handle) {
    if (g_state.started == 0) return -1;
    PumpNetworkMessagesForCall();
    NetWorkRecord* record =
        ValidateNetWorkHandle(handle, "有効なネットワークハンドルではありません in GetNetWorkAcceptState\n",
                    "このネットワークハンドルにはエラーが発生しています in GetNetWorkAcceptStateh\n");
    if (record == nullptr) return -1;
    if (record->connected == 0 && record->lossReported == 0) record->lossReported = 1;
    return record->connected == 1 ? 1 : 0;
}

int GetNetWorkDataLength(int handle) {
    if (g_state.started == 0) return -1;
    PumpNetworkMessagesForCall();
    NetWorkPumpHold hold;
    // A caller that asks for the length again without having taken anything since waits for more than is held
    // (see kNetWorkReadAhead): twice the read-ahead's span and the message in progress, twice as much each
    // further time. The first ask after a take is served by the read-ahead, which holds what a caller that takes
    // as it goes needs.
    NetWorkRecord* asked = FindNetWorkRecord(handle);
    if (asked != nullptr) {
        const int32_t asks = (asked->streamFlags & kNetWorkLengthAsks) >> kNetWorkLengthAsksShift;
        if (asks < 8) asked->streamFlags += 1 << kNetWorkLengthAsksShift;
        if (asks == 0) {
            RecvSocket(handle);
        } else {
            RecvSocketForWaitingCaller(handle, kNetWorkReadAhead << asks);
        }
    }
    SendSocket(handle);
    NetWorkRecord* record =
        ValidateNetWorkHandle(handle, "有効なネットワークハンドルではありません in GetNetWorkDataLength\n",
                    "このネットワークハンドルにはエラーが発生しています in GetNetWorkDataLength\n");
    if (record == nullptr) return -1;
    if (record->lengthPrefixMode) return record->receiveBuffer.heldCount;
    char scratch[1];
    const int peeked = NetWorkRecvToPeek(handle, scratch, 1);
    if (peeked < 0) return peeked;
    return peeked == 1 ? 1 : 0;
}

int NetworkShutDown() {
    if (g_state.started == 0) return 0;
    WriteLog("ネットワーク関連の終了処理を行います \n");
    for (int slot = 0; slot < kNetWorkSlotCount; ++slot) {
        NetWorkRecord* record = g_state.records[slot];
        if (record == nullptr) continue;
        if (CloseNetWorkHandle(MakeNetWorkHandle(record->checkId, slot)) != 0) DiscardNetWorkRecord(slot);
    }
    if (g_state.socketWindow != nullptr) {
        PostMessageA(g_state.socketWindow, WM_CLOSE, 0, 0);
        if (g_state.windowDestroyed == 0) PumpNetworkMessages(0);
    }
    FillBytes(&g_state, 0, sizeof(g_state));
    WSACleanup();
    WriteLog("ネットワーク関連の終了処理は完了しました\n");
    return 0;
}
