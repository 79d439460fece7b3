// Shared pieces of the network tests: a started network on the test thread with the log in a temp folder,
// plain blocking loopback sockets for the peer side, framing of length-prefixed messages, and pumping until
// a condition holds. Every test runs under a watchdog, and ends with no tracked block left behind.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "network/http.h"
#include "network/network_internal.h"
#include "runtime/memory.h"
#include "tests/runtime/test_log_fixture.h"
#include "tests/runtime/test_window_support.h"

using Bytes = std::vector<unsigned char>;

// 4-byte little-endian length, then the bytes.
inline Bytes Frame(const Bytes& message) {
    const uint32_t length = (uint32_t)message.size();
    Bytes out = {(unsigned char)length, (unsigned char)(length >> 8), (unsigned char)(length >> 16),
                 (unsigned char)(length >> 24)};
    out.insert(out.end(), message.begin(), message.end());
    return out;
}

// Byte i of a stream that starts at `offset`: a pattern that shows lost, doubled or reordered bytes.
inline Bytes Pattern(size_t count, size_t offset = 0) {
    Bytes out(count);
    for (size_t i = 0; i < count; ++i) out[i] = (unsigned char)((offset + i) * 7 + ((offset + i) >> 8));
    return out;
}

// A blocking loopback client with a receive timeout, closed when it goes.
class PeerSocket {
   public:
    PeerSocket() = default;
    explicit PeerSocket(SOCKET s) : socket_(s) {}
    ~PeerSocket() { close(); }
    PeerSocket(const PeerSocket&) = delete;
    PeerSocket& operator=(const PeerSocket&) = delete;
    PeerSocket(PeerSocket&& other) noexcept : socket_(other.socket_) { other.socket_ = INVALID_SOCKET; }
    PeerSocket& operator=(PeerSocket&& other) noexcept {
        if (this != &other) {
            close();
            socket_ = other.socket_;
            other.socket_ = INVALID_SOCKET;
        }
        return *this;
    }

    static PeerSocket Connect(int port, bool noDelay = false) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons((u_short)port);
        if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
            closesocket(s);
            return PeerSocket();
        }
        PeerSocket peer(s);
        peer.setNoDelay(noDelay);
        peer.setReceiveTimeout(5000);
        return peer;
    }
    bool valid() const { return socket_ != INVALID_SOCKET; }
    SOCKET get() const { return socket_; }
    void setNoDelay(bool on) {
        BOOL flag = on ? TRUE : FALSE;
        setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&flag), sizeof(flag));
    }
    void setReceiveTimeout(int ms) {
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof(ms));
    }
    bool sendAll(const void* data, size_t size) const {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const int sent = send(socket_, p, (int)(size > 65536 ? 65536 : size), 0);
            if (sent <= 0) return false;
            p += sent;
            size -= (size_t)sent;
        }
        return true;
    }
    bool sendAll(const Bytes& bytes) const { return sendAll(bytes.data(), bytes.size()); }
    bool sendText(const std::string& text) const { return sendAll(text.data(), text.size()); }
    // Exactly `count` bytes, or fewer when the peer closes or the timeout passes.
    Bytes receive(size_t count) const {
        Bytes out(count);
        size_t got = 0;
        while (got < count) {
            const int n = recv(socket_, reinterpret_cast<char*>(out.data() + got), (int)(count - got), 0);
            if (n <= 0) break;
            got += (size_t)n;
        }
        out.resize(got);
        return out;
    }
    // Everything until the peer closes (or the timeout).
    Bytes receiveAll() const {
        Bytes out;
        char buffer[65536];
        for (;;) {
            const int n = recv(socket_, buffer, sizeof(buffer), 0);
            if (n <= 0) break;
            out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }
    void close() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

   private:
    SOCKET socket_ = INVALID_SOCKET;
};

// Listening socket for a peer that plays the server (HTTP tests).
class PeerListener {
   public:
    PeerListener() {
        socket_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        int length = (int)sizeof(address);
        bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(socket_, 4);
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~PeerListener() { closesocket(socket_); }
    PeerListener(const PeerListener&) = delete;
    PeerListener& operator=(const PeerListener&) = delete;
    int port() const { return port_; }
    PeerSocket accept() const {
        SOCKET s = ::accept(socket_, nullptr, nullptr);
        PeerSocket peer(s);
        if (s != INVALID_SOCKET) peer.setReceiveTimeout(5000);
        return peer;
    }

   private:
    SOCKET socket_;
    int port_ = 0;
};

// The network started on the test thread, as the runtime's pumping thread would start it.
class NetworkTest : public LogFileTest {
   protected:
    void SetUp() override {
        LogFileTest::SetUp();
        WSADATA data;
        WSAStartup(MAKEWORD(1, 1), &data);
        baselineBlocks_ = GetTrackedAllocCount();
        HttpTableClear();
        ASSERT_EQ(StartNetWork(), 0);
    }
    void TearDown() override {
        HttpShutDown();
        NetworkShutDown();
        EXPECT_EQ(GetNetworkState()->started, 0);
        EXPECT_EQ(CheckAllocations(), 0);
        EXPECT_EQ(GetTrackedAllocCount(), baselineBlocks_) << "tracked blocks left behind";
        WSACleanup();
        LogFileTest::TearDown();
    }

    int Listen() {
        int port = 0;
        listenHandle_ = StartListenNetWork(0, 1, &port);
        EXPECT_GE(listenHandle_, 0);
        return port;
    }
    // Pumps as the runtime does (close flag 1, then the HTTP service) until the condition holds. False
    // after the timeout.
    static bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
        const DWORD start = GetTickCount();
        for (;;) {
            PumpNetworkMessages(1);
            ServiceHttpRequests();
            if (done()) return true;
            if (GetTickCount() - start > timeoutMs) return false;
            Sleep(1);
        }
    }
    static void PumpFor(DWORD ms) {
        PumpUntil([] { return false; }, ms);
    }
    // Handles of the live connections (not the listening record), newest first.
    static std::vector<int> Connections() {
        std::vector<int> handles;
        NetworkState* state = GetNetworkState();
        for (HandleChainNode* n = state->chainHead.next; n != nullptr && n != &state->chainTail; n = n->next) {
            if (HandleSlotOf(n->handle) != kNetWorkListenSlot) handles.push_back(n->handle);
        }
        return handles;
    }
    // Connects a peer and pumps until the accepted handle shows in the chain.
    int AcceptPeer(PeerSocket& peer, int port, bool noDelay = false) {
        const size_t before = Connections().size();
        peer = PeerSocket::Connect(port, noDelay);
        EXPECT_TRUE(peer.valid());
        if (!PumpUntil([&] { return Connections().size() > before; })) return -1;
        return Connections().front();
    }
    bool LogHas(const std::string& text) { return ReadLog().find(text) != std::string::npos; }
    static int CountOf(const std::string& text, const std::string& part) {
        int count = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
        return count;
    }

    Watchdog dog_{"network test", 60};
    int listenHandle_ = -1;
    int baselineBlocks_ = 0;
};
