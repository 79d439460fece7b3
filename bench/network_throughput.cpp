// Loopback throughput of length-prefixed messages through network handles, pumped the way the runtime pumps
// them, beside a plain blocking send/recv pair moving the same framed bytes in the same run. Prints MB/s and
// the ratio for 64 B, 4 KB and 64 KB messages in each direction.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <thread>
#include <vector>

#include "network/network_internal.h"

#include "bench/bench_timing.h"

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)frequency.QuadPart;
}

SOCKET ConnectLoopback(int port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((u_short)port);
    connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
    return s;
}

void SendAll(SOCKET s, const char* data, size_t size) {
    while (size > 0) {
        const int n = send(s, data, (int)size, 0);
        if (n <= 0) return;
        data += n;
        size -= (size_t)n;
    }
}

void ReceiveAll(SOCKET s, char* data, size_t size) {
    while (size > 0) {
        const int n = recv(s, data, (int)size, 0);
        if (n <= 0) return;
        data += n;
        size -= (size_t)n;
    }
}

std::vector<char> Framed(size_t messageSize) {
    std::vector<char> frame(4 + messageSize, 'x');
    const uint32_t length = (uint32_t)messageSize;
    memcpy(frame.data(), &length, 4);
    return frame;
}

// The same framed bytes over a plain blocking pair, one thread per end.
double PlainPair(int port, SOCKET listener, size_t messageSize, int count) {
    SOCKET a = ConnectLoopback(port);
    SOCKET b = accept(listener, nullptr, nullptr);
    const std::vector<char> frame = Framed(messageSize);
    const double start = Now();
    std::thread writer([&] {
        for (int i = 0; i < count; ++i) SendAll(a, frame.data(), frame.size());
    });
    std::vector<char> in(frame.size());
    for (int i = 0; i < count; ++i) ReceiveAll(b, in.data(), in.size());
    writer.join();
    const double seconds = Now() - start;
    closesocket(a);
    closesocket(b);
    return seconds;
}

// Accepts a blocking peer into a network handle.
int AcceptHandle(SOCKET& peer, int port) {
    peer = ConnectLoopback(port);
    for (int i = 0; i < 5000; ++i) {
        PumpNetworkMessages(1);
        NetworkState* state = GetNetworkState();
        HandleChainNode* n = state->chainHead.next;
        if (n != &state->chainTail && HandleSlotOf(n->handle) != kNetWorkListenSlot) return n->handle;
        Sleep(1);
    }
    return -1;
}

double HandleSends(int port, size_t messageSize, int count) {
    SOCKET peer;
    const int handle = AcceptHandle(peer, port);
    const std::vector<char> frame = Framed(messageSize);
    std::thread reader([&] {
        std::vector<char> in(frame.size());
        for (int i = 0; i < count; ++i) ReceiveAll(peer, in.data(), in.size());
    });
    const double start = Now();
    NetWorkRecord* record = FindNetWorkRecord(handle);
    for (int i = 0; i < count; ++i) {
        NetWorkSend(handle, frame.data() + 4, (int)messageSize);
        while (record->sendBuffer.heldCount > (1 << 20)) PumpNetworkMessages(1);
    }
    while (record->sendBuffer.heldCount > 0) {
        PumpNetworkMessages(1);
        SendSocket(handle);
    }
    reader.join();
    const double seconds = Now() - start;
    CloseNetWorkHandle(handle);
    closesocket(peer);
    return seconds;
}

double HandleReceives(int port, size_t messageSize, int count) {
    SOCKET peer;
    const int handle = AcceptHandle(peer, port);
    const std::vector<char> frame = Framed(messageSize);
    const double start = Now();
    std::thread writer([&] {
        for (int i = 0; i < count; ++i) SendAll(peer, frame.data(), frame.size());
    });
    std::vector<char> in(messageSize);
    for (int i = 0; i < count; ++i) {
        while (GetNetWorkDataLength(handle) < (int)messageSize) PumpNetworkMessages(1);
        NetWorkRecv(handle, in.data(), (int)messageSize);
    }
    writer.join();
    const double seconds = Now() - start;
    CloseNetWorkHandle(handle);
    closesocket(peer);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
    if (StartNetWork() != 0) return 1;
    int port = 0;
    if (StartListenNetWork(0, 1, &port) < 0) return 1;

    SOCKET plainListener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = (int)sizeof(address);
    bind(plainListener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(plainListener, 4);
    getsockname(plainListener, reinterpret_cast<sockaddr*>(&address), &length);
    const int plainPort = ntohs(address.sin_port);

    printf("%-10s %-8s %12s %12s %8s\n", "message", "way", "handles MB/s", "plain MB/s", "ratio");
    for (size_t size : {(size_t)64, (size_t)4096, (size_t)65536}) {
        size_t total = size == 64 ? (256u << 10) : (4u << 20);
        if (ShortRun()) total /= 16;
        const int count = (int)(total / size);
        const double mb = (double)(count * (size + 4)) / (1024.0 * 1024.0);
        const double plain = PlainPair(plainPort, plainListener, size, count);
        const double sends = HandleSends(port, size, count);
        const double receives = HandleReceives(port, size, count);
        printf("%-10zu %-8s %12.2f %12.2f %8.2f\n", size, "send", mb / sends, mb / plain, plain / sends);
        printf("%-10zu %-8s %12.2f %12.2f %8.2f\n", size, "receive", mb / receives, mb / plain, plain / receives);
    }
    closesocket(plainListener);
    NetworkShutDown();
    WSACleanup();
    return 0;
}
