// Peers that stream, lie or leave, against the layer's bounds: reading pauses at the hold limit and resumes
// when the program takes bytes, a length header commits no memory for bytes that never come, a close does
// not wait for a peer known to have left, and HTTP bodies are taken a bounded number of bytes per pass. The
// checks count bytes, recv calls, flush rounds and tracked memory; the clock only bounds the waits.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "tests/network/network_test_support.h"

namespace {

// Most a receive ring can reach: the growth doubles, and it grows only below the hold limit for at most one
// chunk more.
constexpr int64_t kRingBound = 2 * ((int64_t)kNetWorkReceiveHoldLimit + kNetWorkReceiveChunk) + kRingBufferSlack;

class NetworkLimitTest : public NetworkTest {
   protected:
    int Open(PeerSocket& peer) {
        const int port = Listen();
        SetNetWorkRawStreamDefault(0);
        return AcceptPeer(peer, port, true);
    }
};

}  // namespace

// A peer streams 16 MB of 4 KB messages that the program does not read: the pump passes read up to the hold
// limit and then nothing, memory stays bounded, and once the program reads, every byte comes in order.
TEST_F(NetworkLimitTest, UnreadStreamPausesAtTheHoldLimitAndArrivesIntact) {
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    constexpr size_t kMessage = 4096;
    constexpr size_t kTotal = 16u << 20;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (size_t at = 0; at < kTotal && !stop; at += kMessage) {
            if (!peer.sendAll(Frame(Pattern(kMessage, at)))) break;
        }
    });
    const int memoryBefore = GetTrackedAllocTotalSize();
    NetWorkRecord* record = FindNetWorkRecord(handle);

    // Passes as the runtime runs them, nobody reading: the most one pass took, until the ring is at the limit.
    unsigned long long mostPerPass = 0;
    auto pass = [&] {
        const unsigned long long before = GetNetWorkReceivedByteCount();
        PumpNetworkMessages(1);
        ServiceHttpRequests();
        mostPerPass = std::max(mostPerPass, GetNetWorkReceivedByteCount() - before);
    };
    const DWORD start = GetTickCount();
    while (record->receiveBuffer.heldCount < kNetWorkReceiveHoldLimit && GetTickCount() - start < 20000) {
        pass();
        Sleep(1);
    }
    ASSERT_GE(record->receiveBuffer.heldCount, kNetWorkReceiveHoldLimit) << "the stream never filled the ring";
    // Every recv that left bytes behind had the system post another FD_READ; once that backlog is
    // dispatched, further passes read nothing and meet no new notification.
    ASSERT_TRUE(PumpUntil([&] {
        const unsigned long before = GetSocketNotificationCount();
        pass();
        return GetSocketNotificationCount() == before;
    }));
    const unsigned long recvCalls = GetNetWorkRecvCallCount();
    const unsigned long notifications = GetSocketNotificationCount();
    for (int i = 0; i < 100; ++i) {
        pass();
        Sleep(1);
    }
    EXPECT_EQ(GetNetWorkRecvCallCount() - recvCalls, 0u) << "a paused connection was read";
    EXPECT_LT(GetSocketNotificationCount() - notifications, 10u) << "notifications for a paused connection";
    EXPECT_LE(record->receiveBuffer.heldCount, kNetWorkReceiveHoldLimit + kNetWorkReceiveChunk);
    EXPECT_LE(record->receiveBuffer.capacity, kRingBound);
    EXPECT_LE(mostPerPass, (unsigned long long)(kNetWorkReceiveHoldLimit + kNetWorkReceiveChunk));
    EXPECT_LE(GetTrackedAllocTotalSize() - memoryBefore, kRingBound) << "tracked memory beyond one ring";

    // Now the program reads: the held bytes and the paused rest, in order, every call taking a bounded amount.
    size_t taken = 0;
    bool intact = true;
    unsigned long long mostPerCall = 0;
    Bytes part(kMessage);
    const DWORD readStart = GetTickCount();
    while (taken < kTotal && GetTickCount() - readStart < 20000) {
        const unsigned long long before = GetNetWorkReceivedByteCount();
        PumpNetworkMessages(1);
        const int held = GetNetWorkDataLength(handle);
        if (held >= (int)kMessage) {
            ASSERT_EQ(NetWorkRecv(handle, part.data(), (int)kMessage), 0);
            intact = intact && part == Pattern(kMessage, taken);
            taken += kMessage;
        } else {
            Sleep(1);
        }
        mostPerCall = std::max(mostPerCall, GetNetWorkReceivedByteCount() - before);
        EXPECT_LE(record->receiveBuffer.capacity, kRingBound);
    }
    stop = true;
    peer.close();
    writer.join();
    EXPECT_EQ(taken, kTotal);
    EXPECT_TRUE(intact) << "the stream came out of order or changed";
    EXPECT_LE(mostPerCall, (unsigned long long)(kNetWorkReceiveHoldLimit + kNetWorkReceiveChunk));
}

// A message longer than the hold limit, then a small one: the pump finishes the message in progress past
// the limit (a program waiting for it would otherwise wait for ever), reads little beyond it, and both arrive
// intact and in order.
TEST_F(NetworkLimitTest, AMessageLongerThanTheHoldLimitStillArrivesWhole) {
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    const size_t kLong = (size_t)kNetWorkReceiveHoldLimit + (2u << 20);
    const Bytes longMessage = Pattern(kLong);
    const Bytes shortMessage = Pattern(4096, 7);
    std::thread writer([&] {
        if (peer.sendAll(Frame(longMessage))) peer.sendAll(Frame(shortMessage));
    });
    NetWorkRecord* record = FindNetWorkRecord(handle);
    const bool whole = PumpUntil([&] { return GetNetWorkDataLength(handle) >= (int)kLong; }, 20000);
    if (!whole) peer.close();  // ends the writer's blocked send
    writer.join();
    ASSERT_TRUE(whole) << "held " << record->receiveBuffer.heldCount << " of " << kLong;
    EXPECT_LE(record->receiveBuffer.heldCount, (int32_t)kLong + kNetWorkReceiveChunk);
    Bytes got(kLong);
    ASSERT_EQ(NetWorkRecv(handle, got.data(), (int)kLong), 0);
    EXPECT_TRUE(got == longMessage) << "the long message changed";
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(handle) >= 4096; }));
    Bytes next(4096);
    ASSERT_EQ(NetWorkRecv(handle, next.data(), 4096), 0);
    EXPECT_EQ(next, shortMessage);
    EXPECT_EQ(record->error, 0);
}

// A header that announces a huge message, a few of its bytes, then silence: the connection waits with only
// a chunk's room reserved; nothing is committed for the bytes that never came, and nothing leaks.
TEST_F(NetworkLimitTest, HugeLengthHeaderCommitsNoMemoryForBytesThatNeverCome) {
    const struct {
        const char* name;
        uint32_t length;
    } cases[] = {
        {"1 GB (half the i686 address space)", 0x40000000u},
        {"just under 2 GB", 0x7FFFFB00u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int memoryAtStart = GetTrackedAllocTotalSize();
        PeerSocket peer;
        const int handle = Open(peer);
        ASSERT_GE(handle, 0);
        const int memoryBefore = GetTrackedAllocTotalSize();
        Bytes start = {(unsigned char)c.length, (unsigned char)(c.length >> 8), (unsigned char)(c.length >> 16),
                       (unsigned char)(c.length >> 24)};
        const Bytes some = Pattern(100);
        start.insert(start.end(), some.begin(), some.end());
        ASSERT_TRUE(peer.sendAll(start));
        NetWorkRecord* record = FindNetWorkRecord(handle);
        ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(handle) == 100; }));
        PumpFor(50);
        EXPECT_EQ(record->error, 0);
        EXPECT_EQ(record->receiveRemaining, (int32_t)(c.length - 100));
        EXPECT_LE(record->receiveBuffer.capacity, kNetWorkReceiveChunk + kRingBufferSlack);
        EXPECT_LE(GetTrackedAllocTotalSize() - memoryBefore, kNetWorkReceiveChunk + kRingBufferSlack);
        Bytes got(100);
        EXPECT_EQ(NetWorkRecv(handle, got.data(), 100), 0);
        EXPECT_EQ(got, some);
        // The peer leaves; the handle closes at once and frees everything (the fixture counts the blocks).
        peer.close();
        EXPECT_TRUE(PumpUntil([&] { return GetNetWorkAcceptState(handle) == 0; }));
        const unsigned long rounds = GetNetWorkCloseFlushRoundCount();
        EXPECT_EQ(CloseNetWorkHandle(handle), 0);
        EXPECT_EQ(GetNetWorkCloseFlushRoundCount() - rounds, 0u);
        EXPECT_EQ(CloseNetWorkHandle(listenHandle_), 0);
        EXPECT_EQ(GetTrackedAllocTotalSize(), memoryAtStart) << "memory left after the close";
    }
}

// Five peers send half a message and leave. Whether the program closes the handle itself once recv has seen
// the end, or the pump closes it after the loss was reported, the receive flush waits no round for the rest.
TEST_F(NetworkLimitTest, PeersThatLeaveMidMessageAreClosedWithoutWaiting) {
    const int port = Listen();
    SetNetWorkRawStreamDefault(0);
    constexpr int kPeers = 5;
    PeerSocket peers[kPeers];
    int handles[kPeers];
    for (int i = 0; i < kPeers; ++i) {
        handles[i] = AcceptPeer(peers[i], port, true);
        ASSERT_GE(handles[i], 0);
    }
    const Bytes framed = Frame(Pattern(1000));
    for (PeerSocket& peer : peers) ASSERT_TRUE(peer.sendAll(framed.data(), 504));
    ASSERT_TRUE(PumpUntil([&] {
        for (int handle : handles) {
            if (GetNetWorkDataLength(handle) != 500) return false;
        }
        return true;
    }));
    for (PeerSocket& peer : peers) peer.close();

    const unsigned long rounds = GetNetWorkCloseFlushRoundCount();
    // The first two: closed by the program as soon as recv has said the peer is gone.
    for (int i = 0; i < 2; ++i) {
        NetWorkRecord* record = FindNetWorkRecord(handles[i]);
        ASSERT_TRUE(PumpUntil([&] {
            GetNetWorkDataLength(handles[i]);
            return (record->streamFlags & kNetWorkReceiveEnded) != 0;
        }));
        EXPECT_EQ(record->receiveRemaining, 500) << "the message is still half there";
        EXPECT_EQ(CloseNetWorkHandle(handles[i]), 0);
    }
    // The rest: the program notices the loss and the next closing pump frees them.
    EXPECT_TRUE(PumpUntil([&] {
        for (int i = 2; i < kPeers; ++i) GetNetWorkAcceptState(handles[i]);
        return Connections().empty();
    }));
    EXPECT_EQ(GetNetWorkCloseFlushRoundCount() - rounds, 0u) << "a close waited for a peer that had left";
    for (int handle : handles) EXPECT_EQ(FindNetWorkRecord(handle), nullptr);
}

// A program that takes each message as soon as it is whole, against a peer that writes far faster: the burst
// waits in the socket while the ring stays at the read-ahead (a ring grown towards the hold limit would be
// megabytes of fresh memory per connection), and every byte arrives in order.
TEST_F(NetworkLimitTest, AProgramThatKeepsTakingKeepsTheRingAtTheReadAhead) {
    for (const size_t message : {(size_t)4096, (size_t)65536}) {
        SCOPED_TRACE(message);
        PeerSocket peer;
        const int handle = Open(peer);
        ASSERT_GE(handle, 0);
        constexpr size_t kTotal = 8u << 20;
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            for (size_t at = 0; at < kTotal && !stop; at += message) {
                if (!peer.sendAll(Frame(Pattern(message, at)))) break;
            }
        });
        NetWorkRecord* record = FindNetWorkRecord(handle);
        size_t taken = 0;
        bool intact = true;
        int32_t mostCapacity = 0;
        Bytes part(message);
        const DWORD start = GetTickCount();
        while (taken < kTotal && GetTickCount() - start < 30000) {
            PumpNetworkMessages(1);
            if (GetNetWorkDataLength(handle) >= (int)message) {
                ASSERT_EQ(NetWorkRecv(handle, part.data(), (int)message), 0);
                intact = intact && part == Pattern(message, taken);
                taken += message;
            } else {
                Sleep(1);
            }
            mostCapacity = std::max(mostCapacity, record->receiveBuffer.capacity);
        }
        stop = true;
        peer.close();
        writer.join();
        EXPECT_EQ(taken, kTotal);
        EXPECT_TRUE(intact) << "the stream came out of order or changed";
        EXPECT_LE(mostCapacity, 2 * kNetWorkReadAhead + kRingBufferSlack) << "the ring grew past the read-ahead";
        EXPECT_EQ(CloseNetWorkHandle(handle), 0);
        EXPECT_EQ(CloseNetWorkHandle(listenHandle_), 0);
    }
}

// A program that has been taking small messages and then waits for one longer than the read-ahead holds: it
// takes nothing while it waits, so the runtime's passes let the rest in up to the hold limit, and the long
// message arrives whole; taking it brings the read-ahead back.
TEST_F(NetworkLimitTest, AProgramWaitingForAMessageLongerThanTheReadAheadGetsItWhole) {
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    const Bytes small = Pattern(4096, 3);
    const Bytes longMessage = Pattern(4 * (size_t)kNetWorkReadAhead, 11);
    std::thread writer([&] {
        if (peer.sendAll(Frame(small))) peer.sendAll(Frame(longMessage));
    });
    Bytes got(small.size());
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(handle) >= (int)small.size(); }));
    ASSERT_EQ(NetWorkRecv(handle, got.data(), (int)got.size()), 0);
    EXPECT_EQ(got, small);
    const bool whole = PumpUntil([&] { return GetNetWorkDataLength(handle) >= (int)longMessage.size(); }, 20000);
    if (!whole) peer.close();  // ends the writer's blocked send
    writer.join();
    NetWorkRecord* record = FindNetWorkRecord(handle);
    ASSERT_TRUE(whole) << "held " << record->receiveBuffer.heldCount << " of " << longMessage.size();
    got.resize(longMessage.size());
    ASSERT_EQ(NetWorkRecv(handle, got.data(), (int)got.size()), 0);
    EXPECT_TRUE(got == longMessage) << "the long message changed";
    EXPECT_EQ(record->streamFlags & kNetWorkReadFreely, 0) << "taking did not bring the read-ahead back";
    EXPECT_EQ(record->error, 0);
}

// A program closes a handle while its read-ahead is paused with a message in progress whose rest already
// waits in the socket: the close's receive flush reads the rest at once instead of waiting out its bound.
TEST_F(NetworkLimitTest, CloseReadsTheRestOfAMessageThatTheReadAheadLeftInTheSocket) {
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    const size_t first = (size_t)kNetWorkReadAhead * 3 / 4;
    const size_t second = (size_t)kNetWorkReadAhead / 2;
    Bytes both = Frame(Pattern(first));
    const Bytes next = Frame(Pattern(second, first));
    both.insert(both.end(), next.begin(), next.end());
    ASSERT_TRUE(peer.sendAll(both));
    NetWorkRecord* record = FindNetWorkRecord(handle);
    // Only the operations, no pass: the read-ahead stays in force.
    const DWORD start = GetTickCount();
    while ((record->streamFlags & kNetWorkReadPaused) == 0 && GetTickCount() - start < 5000) {
        GetNetWorkDataLength(handle);
        Sleep(1);
    }
    ASSERT_NE(record->streamFlags & kNetWorkReadPaused, 0) << "held " << record->receiveBuffer.heldCount;
    ASSERT_GT(record->receiveRemaining, 0) << "the fixture needs a message in progress";
    u_long waiting = 0;
    while (GetTickCount() - start < 5000) {
        ioctlsocket(record->socket, FIONREAD, &waiting);
        if (waiting >= (u_long)record->receiveRemaining) break;
        Sleep(1);
    }
    ASSERT_GE(waiting, (u_long)record->receiveRemaining) << "the rest never reached the socket";
    const unsigned long rounds = GetNetWorkCloseFlushRoundCount();
    EXPECT_EQ(CloseNetWorkHandle(handle), 0);
    EXPECT_LT(GetNetWorkCloseFlushRoundCount() - rounds, 10u) << "the flush waited for bytes it did not read";
}
