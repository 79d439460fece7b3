// Loopback throughput of length-prefixed messages through network handles, pumped the way the runtime pumps
// them, beside a plain blocking send/recv pair moving the same framed bytes in the same run. Prints MB/s, the
// ratio to the plain pair (best of three runs each) and the ring growths of one run (4 MB moved, 256 KB for
// 64 B messages), for 64 B, 4 KB and 64 KB messages in each direction, with the targets beside them.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <thread>
#include <vector>

#include "network/network_internal.h"
#include "network/ring_buffer.h"

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

struct Run {
    double seconds;
    unsigned long growths;  // ring growths during the run
};

Run HandleSends(int port, size_t messageSize, int count) {
    SOCKET peer;
    const int handle = AcceptHandle(peer, port);
    const std::vector<char> frame = Framed(messageSize);
    std::thread reader([&] {
        std::vector<char> in(frame.size());
        for (int i = 0; i < count; ++i) ReceiveAll(peer, in.data(), in.size());
    });
    const unsigned long growths = GetRingBufferGrowthCount();
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
    const Run run = {Now() - start, GetRingBufferGrowthCount() - growths};
    CloseNetWorkHandle(handle);
    closesocket(peer);
    return run;
}

Run HandleReceives(int port, size_t messageSize, int count) {
    SOCKET peer;
    const int handle = AcceptHandle(peer, port);
    const std::vector<char> frame = Framed(messageSize);
    const unsigned long growths = GetRingBufferGrowthCount();
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
    const Run run = {Now() - start, GetRingBufferGrowthCount() - growths};
    CloseNetWorkHandle(handle);
    closesocket(peer);
    return run;
}

// Best of three runs; the growths of the first (every run starts with empty rings).
template <typename F>
Run Best(F body) {
    Run best = body();
    for (int i = 1; i < 3; ++i) {
        const Run run = body();
        if (run.seconds < best.seconds) best.seconds = run.seconds;
    }
    return best;
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

    printf("%-8s %-8s %6s %12s %12s %7s %7s %8s %7s\n", "message", "way", "moved", "handles MB/s", "plain MB/s",
           "ratio", "target", "growths", "target");
    for (size_t size : {(size_t)64, (size_t)4096, (size_t)65536}) {
        size_t total = size == 64 ? (256u << 10) : (4u << 20);
        if (ShortRun()) total /= 16;
        const int count = (int)(total / size);
        const double mb = (double)(count * (size + 4)) / (1024.0 * 1024.0);
        const double plain = Best([&] { return Run{PlainPair(plainPort, plainListener, size, count), 0}; }).seconds;
        const Run sends = Best([&] { return HandleSends(port, size, count); });
        const Run receives = Best([&] { return HandleReceives(port, size, count); });
        // Targets for the message sizes a program sends in practice; 64 B messages are bound by the calls and
        // move only 256 KB, so their growths are not held to the per-4 MB target.
        const bool fourMb = total == (4u << 20);
        const char* sendTarget = fourMb ? ">=0.5" : "-";
        const char* receiveTarget = !fourMb ? "-" : size == 4096 ? ">=0.5" : ">=0.8";
        const char* growthTarget = fourMb ? "<=64" : "-";
        printf("%-8zu %-8s %5zuK %12.2f %12.2f %7.2f %7s %8lu %7s\n", size, "send", total >> 10, mb / sends.seconds,
               mb / plain, plain / sends.seconds, sendTarget, sends.growths, growthTarget);
        printf("%-8zu %-8s %5zuK %12.2f %12.2f %7.2f %7s %8lu %7s\n", size, "receive", total >> 10,
               mb / receives.seconds, mb / plain, plain / receives.seconds, receiveTarget, receives.growths,
               growthTarget);
    }
    closesocket(plainListener);
    NetworkShutDown();
    WSACleanup();
    return 0;
}
