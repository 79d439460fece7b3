// Starting the network, which the program itself never does: WinSock 1.1, the hidden socket window that
// receives every socket notification, the listening socket in the last slot, outgoing connections, the two
// defaults for new connections and the peer address query.
#include <windows.h>

#include "network/network_internal.h"
#include "runtime/text.h"

namespace {

constexpr char kSocketWindowClass[] = "KavorinSocketWindow";
// As many waiting connections as the system allows (WinSock 2's SOMAXCONN): WinSock 1.1's SOMAXCONN is 5, and
// a full queue makes the system drop connects, which retry only after a second.
constexpr int kListenBacklog = 0x7FFFFFFF;

LRESULT CALLBACK SocketWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case kSocketMessage:
        return OnSocketMessage(window, message, wparam, lparam);
    case WM_DESTROY:
        if (GetNetworkState()->socketWindow == window) GetNetworkState()->windowDestroyed = 1;
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

int RegisterSocketWindowClass() {
    WNDCLASSA windowClass;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (GetClassInfoA(instance, kSocketWindowClass, &windowClass)) return 0;
    FillBytes(&windowClass, 0, sizeof(windowClass));
    windowClass.lpfnWndProc = SocketWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kSocketWindowClass;
    return RegisterClassA(&windowClass) != 0 ? 0 : -1;
}

// A socket in blocking mode until `timeoutMs` passes: connect without blocking, then wait for it.
int ConnectWithin(SOCKET socket, const sockaddr_in& address, int timeoutMs) {
    u_long nonBlocking = 1;
    if (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) return -1;
    if (connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) return 0;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval wait;
    wait.tv_sec = timeoutMs / 1000;
    wait.tv_usec = (timeoutMs % 1000) * 1000;
    if (select(0, nullptr, &writable, &failed, &wait) <= 0 || !FD_ISSET(socket, &writable)) return -1;
    int error = 0;
    int length = (int)sizeof(error);
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 || error != 0) {
        return -1;
    }
    return 0;
}

int ResolveIpv4(const char* host, in_addr* out) {
    const unsigned long numeric = inet_addr(host);
    if (numeric != INADDR_NONE) {
        out->s_addr = numeric;
        return 0;
    }
    const hostent* entry = gethostbyname(host);
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) return -1;
    MoveBytes(out, entry->h_addr_list[0], 4);
    return 0;
}

}  // namespace

int StartNetWork() {
    NetworkState* state = GetNetworkState();
    if (state->started) return 0;
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return WriteLog("WinSock の初期化に失敗しました\n");
    HWND window = nullptr;
    if (RegisterSocketWindowClass() == 0) {
        window = CreateWindowExA(0, kSocketWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    }
    if (window == nullptr) {
        WSACleanup();
        return WriteLog("ソケット用ウインドウの作成に失敗しました\n");
    }
    FillBytes(state, 0, sizeof(*state));
    HandleChainReset(&state->chainHead, &state->chainTail);
    state->socketWindow = window;
    state->started = 1;
    return 0;
}

int StartListenNetWork(int port, int loopbackOnly, int* boundPort) {
    NetworkState* state = GetNetworkState();
    if (state->started == 0 || state->records[kNetWorkListenSlot] != nullptr) return -1;
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener == INVALID_SOCKET) return LogNetworkError("socketに失敗しました");
    sockaddr_in address;
    FillBytes(&address, 0, sizeof(address));
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY);
    address.sin_port = htons((u_short)port);
    int length = (int)sizeof(address);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, kListenBacklog) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        WSAAsyncSelect(listener, state->socketWindow, kSocketMessage, FD_ACCEPT) != 0) {
        LogNetworkError("待ち受けソケットの準備に失敗しました");
        closesocket(listener);
        return -1;
    }
    NetWorkRecord* record = NewNetWorkRecord(kNetWorkListenSlot);
    if (record == nullptr) {
        closesocket(listener);
        return -1;
    }
    record->socket = listener;
    record->lengthPrefixMode = 0;
    record->autoClose = 0;
    StepNetWorkSerial();
    if (boundPort != nullptr) *boundPort = ntohs(address.sin_port);
    return MakeNetWorkHandle(record->checkId, kNetWorkListenSlot);
}

int ConnectNetWork(const char* host, int port, int rawStream, int autoClose, int timeoutMs) {
    NetworkState* state = GetNetworkState();
    if (state->started == 0 || host == nullptr || port <= 0 || port > 65535) return -1;
    sockaddr_in address;
    FillBytes(&address, 0, sizeof(address));
    address.sin_family = AF_INET;
    address.sin_port = htons((u_short)port);
    if (ResolveIpv4(host, &address.sin_addr) != 0) return LogNetworkError("%s が見つかりません", host);
    const int slot = FindFreeNetWorkSlot();
    if (slot < 0) return WriteLog("空きソケットデータがなかったので接続できません\n");
    NetWorkRecord* record = NewNetWorkRecord(slot);
    if (record == nullptr) return -1;
    record->lengthPrefixMode = rawStream ? 0 : 1;
    record->autoClose = autoClose ? 1 : 0;
    record->socket = socket(AF_INET, SOCK_STREAM, 0);
    if (record->socket == INVALID_SOCKET || ConnectWithin(record->socket, address, timeoutMs) != 0 ||
        WSAAsyncSelect(record->socket, state->socketWindow, kSocketMessage, kNetWorkAcceptedEvents) != 0) {
        LogNetworkError("%s:%d への接続に失敗しました", host, port);
        DiscardNetWorkRecord(slot);
        return -1;
    }
    MoveBytes(record->peerAddress, &address.sin_addr, 4);
    record->peerPort = address.sin_port;
    StepNetWorkSerial();
    return MakeNetWorkHandle(record->checkId, slot);
}

int SetNetWorkRawStreamDefault(int flag) {
    GetNetworkState()->rawStreamDefault = flag;
    return 0;
}

int SetNetWorkNoAutoCloseDefault(int flag) {
    GetNetworkState()->noAutoCloseDefault = flag;
    return 0;
}

int GetNetWorkPeerAddress(int handle, unsigned char address[4], int* port) {
    if (GetNetworkState()->started == 0) return -1;
    const NetWorkRecord* record = FindNetWorkRecord(handle);
    if (record == nullptr || record->inUse == 0) return -1;
    if (address != nullptr) MoveBytes(address, record->peerAddress, 4);
    if (port != nullptr) *port = ntohs((u_short)record->peerPort);
    return 0;
}
