// Peers that stream, lie or leave, against the layer's bounds: a program that waits gets its bytes up to the
// limits, reading pauses at a limit (one line) and resumes when the program takes bytes, a length header
// commits no memory for bytes that never come, a close does not wait for a peer known to have left, and rings
// stay within half again of what they hold. The checks count bytes, recv calls, flush rounds and tracked
// memory; the clock only bounds the waits.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "tests/network/network_test_support.h"

namespace {

// Most a receive ring may take for what it holds.
int64_t RingBound(int64_t held) { return (held + kNetWorkReadAhead) * 3 / 2 + kRingBufferSlack; }

class NetworkLimitTest : public NetworkTest {
   protected:
    void TearDown() override {
        SetNetWorkReceiveLimitsForTest(0, 0);
        NetworkTest::TearDown();
    }
    int Open(PeerSocket& peer) {
        if (listenPort_ == 0) listenPort_ = Listen();
        SetNetWorkRawStreamDefault(0);
        return AcceptPeer(peer, listenPort_, true);
    }
    // A connection for each peer; false when one was not accepted.
    bool OpenEach(PeerSocket* peers, int* handles, int count) {
        for (int i = 0; i < count; ++i) {
            handles[i] = Open(peers[i]);
            if (handles[i] < 0) return false;
        }
        return true;
    }
    // Polls GetNetWorkDataLength alone (no pass) until it shows `count` bytes; the count it last showed.
    static int AskUntil(int handle, int count, DWORD timeoutMs = 20000) {
        const DWORD start = GetTickCount();
        int held = GetNetWorkDataLength(handle);
        while (held < count && GetTickCount() - start < timeoutMs) {
            Sleep(1);
            held = GetNetWorkDataLength(handle);
        }
        return held;
    }
    // Takes `count` bytes in pieces and checks them against the pattern from `offset`.
    static bool TakeIntact(int handle, size_t count, size_t offset, size_t piece = 65536) {
        Bytes part;
        for (size_t at = 0; at < count; at += piece) {
            const size_t n = std::min(piece, count - at);
            part.resize(n);
            if (NetWorkRecv(handle, part.data(), (int)n) != 0 || part != Pattern(n, offset + at)) return false;
        }
        return true;
    }

    int listenPort_ = 0;
};

// A stream split into `count` messages of `size` bytes, framed, as one block of bytes.
Bytes Messages(size_t size, int count, size_t offset = 0) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
        const Bytes framed = Frame(Pattern(size, offset + (size_t)i * size));
        out.insert(out.end(), framed.begin(), framed.end());
    }
    return out;
}

}  // namespace

// A program that only calls the operations, never the runtime's pass, gets every message as soon as it is
// whole, also one longer than the read-ahead: asking for the length, or for more than is held, is waiting.
TEST_F(NetworkLimitTest, AProgramPollingOnlyTheOperationsGetsEveryMessage) {
    const struct {
        const char* name;
        size_t size;
        int count;
        bool askLength;  // poll GetNetWorkDataLength, else NetWorkRecv for the whole
    } cases[] = {
        {"300 KB, asking the length", 300u << 10, 1, true},
        {"300 KB, asking to take it", 300u << 10, 1, false},
        {"1 MB, asking the length", 1u << 20, 1, true},
        {"1 MB, asking to take it", 1u << 20, 1, false},
        {"1 MB as 16 x 64 KB, asking the length", 64u << 10, 16, true},
        {"1 MB as 16 x 64 KB, asking to take it", 64u << 10, 16, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PeerSocket peer;
        const int handle = Open(peer);
        ASSERT_GE(handle, 0);
        const size_t total = c.size * (size_t)c.count;
        const Bytes stream = Messages(c.size, c.count);
        std::thread writer([&] { peer.sendAll(stream); });
        Bytes got(total);
        bool whole = false;
        const DWORD start = GetTickCount();
        while (!whole && GetTickCount() - start < 20000) {
            whole = c.askLength ? GetNetWorkDataLength(handle) >= (int)total
                                : NetWorkRecv(handle, got.data(), (int)total) == 0;
            if (!whole) Sleep(1);
        }
        const int32_t held = FindNetWorkRecord(handle)->receiveBuffer.heldCount;
        if (!whole) peer.close();  // ends the writer's blocked send
        writer.join();
        ASSERT_TRUE(whole) << "held " << held << " of " << total;
        if (c.askLength) {
            ASSERT_EQ(NetWorkRecv(handle, got.data(), (int)total), 0);
        }
        EXPECT_TRUE(got == Pattern(total)) << "the bytes changed";
        EXPECT_EQ(CloseNetWorkHandle(handle), 0);
    }
}

// 64 peers each send one 600 KB message; the program asks each handle in turn to take it, nothing else.
TEST_F(NetworkLimitTest, SixtyFourPeersEachGetTheirLongMessageByPollingAlone) {
    constexpr int kPeers = 64;
    constexpr size_t kSize = 600u << 10;
    PeerSocket peers[kPeers];
    int handles[kPeers];
    ASSERT_TRUE(OpenEach(peers, handles, kPeers));
    std::thread writer([&] {
        for (int i = 0; i < kPeers; ++i) {
            if (!peers[i].sendAll(Frame(Pattern(kSize, (size_t)i)))) break;
        }
    });
    bool got[kPeers] = {};
    int received = 0;
    int intact = 0;
    Bytes message(kSize);
    const DWORD start = GetTickCount();
    while (received < kPeers && GetTickCount() - start < 30000) {
        for (int i = 0; i < kPeers; ++i) {
            if (got[i] || NetWorkRecv(handles[i], message.data(), (int)kSize) != 0) continue;
            got[i] = true;
            ++received;
            if (message == Pattern(kSize, (size_t)i)) ++intact;
        }
        Sleep(1);
    }
    if (received < kPeers) {
        for (PeerSocket& peer : peers) peer.close();
    }
    writer.join();
    EXPECT_EQ(received, kPeers);
    EXPECT_EQ(intact, received) << "a message changed";
}

// A program waits for 5 MB before it takes anything, sent as 80 messages of 64 KB by a plain peer or by this
// layer's own handle: however it waits (the length alone, or the runtime's passes too), all 5 MB are held.
TEST_F(NetworkLimitTest, AProgramWaitingForFiveMegabytesGetsThemAll) {
    constexpr size_t kPiece = 64u << 10;
    constexpr int kPieces = 80;
    constexpr size_t kTotal = kPiece * kPieces;
    for (const bool layerSends : {false, true}) {
        for (const bool passes : {false, true}) {
            SCOPED_TRACE(testing::Message() << (layerSends ? "sent by a handle" : "sent by a plain peer")
                                            << (passes ? ", waiting with passes" : ", asking the length alone"));
            PeerSocket peer;
            const int handle = Open(peer);
            ASSERT_GE(handle, 0);
            int sender = -1;
            std::thread writer;
            if (layerSends) {
                sender = ConnectNetWork("127.0.0.1", listenPort_, 0, 0, 5000);
                ASSERT_GE(sender, 0);
                ASSERT_TRUE(PumpUntil([&] { return Connections().size() == 3; }));
                for (int i = 0; i < kPieces; ++i) {
                    const Bytes piece = Pattern(kPiece, (size_t)i * kPiece);
                    ASSERT_EQ(NetWorkSend(sender, piece.data(), (int)kPiece), 0);
                }
            } else {
                writer = std::thread([&] { peer.sendAll(Messages(kPiece, kPieces)); });
            }
            // The newest connection is the sender's other end when the layer sends.
            const int receiver = layerSends ? Connections().front() : handle;
            int held = 0;
            const DWORD start = GetTickCount();
            while (held < (int)kTotal && GetTickCount() - start < 30000) {
                if (passes) PumpNetworkMessages(1);
                held = GetNetWorkDataLength(receiver);
                if (held < (int)kTotal) Sleep(1);
            }
            if (held < (int)kTotal) peer.close();
            if (writer.joinable()) writer.join();
            ASSERT_EQ(held, (int)kTotal);
            EXPECT_TRUE(TakeIntact(receiver, kTotal, 0)) << "the bytes changed";
            for (int h : Connections()) CloseNetWorkHandle(h);
        }
    }
}

// A peer sends 6 MB and closes while the program takes nothing. The system tells of the close only once no
// byte waits in the socket, so the close is seen as soon as the layer holds all 6 MB: a program that asks for
// the length gets them and then the close, before it takes a byte; every byte is still there to take.
TEST_F(NetworkLimitTest, ACloseBehindSixMegabytesUnreadIsSeenOnceTheProgramAsks) {
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    constexpr size_t kPiece = 64u << 10;
    constexpr int kPieces = 96;
    constexpr size_t kTotal = kPiece * kPieces;
    std::thread writer([&] {
        peer.sendAll(Messages(kPiece, kPieces));
        peer.close();
    });
    PumpFor(200);  // passes alone: the program asks for nothing
    int held = 0;
    int state = 1;
    const DWORD start = GetTickCount();
    while (state == 1 && GetTickCount() - start < 30000) {
        held = GetNetWorkDataLength(handle);
        state = GetNetWorkAcceptState(handle);
        if (state == 1) Sleep(1);
    }
    writer.join();
    EXPECT_EQ(state, 0) << "the close was never seen; held " << held;
    EXPECT_EQ(GetNetWorkDataLength(handle), (int)kTotal);
    EXPECT_TRUE(TakeIntact(handle, kTotal, 0)) << "the bytes changed";
}

// The limits with lowered values (a test hook), so that no program needs hundreds of megabytes: a program
// that keeps asking without taking reads up to the connection's limit, or the total across connections, and
// then nothing; each paused connection logs one line however often it is asked; taking resumes it, and every
// byte comes in order.
TEST_F(NetworkLimitTest, ReadingPausesAtEachLimitWithOneLineAndResumesWhenTheProgramTakes) {
    constexpr int32_t kLimit = 1 << 20;
    constexpr int64_t kTotalLimit = 3 << 19;  // one and a half connections' worth
    SetNetWorkReceiveLimitsForTest(kLimit, kTotalLimit);
    constexpr size_t kPiece = 4096;
    constexpr size_t kEach = 3u << 20;
    PeerSocket peers[2];
    int handles[2];
    ASSERT_TRUE(OpenEach(peers, handles, 2));
    std::atomic<bool> stop{false};
    std::thread writers[2];
    for (int i = 0; i < 2; ++i) {
        writers[i] = std::thread([&, i] {
            for (size_t at = 0; at < kEach && !stop; at += kPiece) {
                if (!peers[i].sendAll(Frame(Pattern(kPiece, at)))) break;
            }
        });
    }
    // The first reaches its own limit, the second what the total leaves.
    EXPECT_EQ(AskUntil(handles[0], kLimit), kLimit);
    EXPECT_EQ(AskUntil(handles[1], (int)(kTotalLimit - kLimit)), (int)(kTotalLimit - kLimit));
    EXPECT_EQ(GetNetWorkTotalHeld(), kTotalLimit);
    const unsigned long recvCalls = GetNetWorkRecvCallCount();
    for (int i = 0; i < 200; ++i) {
        PumpNetworkMessages(1);
        GetNetWorkDataLength(handles[0]);
        GetNetWorkDataLength(handles[1]);
        Sleep(1);
    }
    EXPECT_EQ(GetNetWorkRecvCallCount() - recvCalls, 0u) << "a paused connection was read";
    EXPECT_EQ(GetNetWorkTotalHeld(), kTotalLimit);
    const std::string log = ReadLog();
    char line[200];
    snprintf(line, sizeof(line), "受信データが一接続の上限 %d byte に達したので、受け取られるまで受信を止めます(ハンドル %x)",
             kLimit, handles[0]);
    EXPECT_EQ(CountOf(log, line), 1) << log;
    snprintf(line, sizeof(line),
             "受信データが全接続の合計の上限 %d byte に達したので、受け取られるまで受信を止めます(ハンドル %x)",
             (int)kTotalLimit, handles[1]);
    EXPECT_EQ(CountOf(log, line), 1) << log;

    // Taking from the first lifts both: each gets its whole stream, in order.
    size_t taken[2] = {0, 0};
    bool intact = true;
    Bytes part(kPiece);
    const DWORD start = GetTickCount();
    while ((taken[0] < kEach || taken[1] < kEach) && GetTickCount() - start < 30000) {
        bool any = false;
        for (int i = 0; i < 2; ++i) {
            if (taken[i] < kEach && NetWorkRecv(handles[i], part.data(), (int)kPiece) == 0) {
                intact = intact && part == Pattern(kPiece, taken[i]);
                taken[i] += kPiece;
                any = true;
            }
            EXPECT_LE(GetNetWorkTotalHeld(), kTotalLimit);
        }
        if (!any) Sleep(1);
    }
    stop = true;
    for (PeerSocket& peer : peers) peer.close();
    for (std::thread& w : writers) w.join();
    EXPECT_EQ(taken[0], kEach);
    EXPECT_EQ(taken[1], kEach);
    EXPECT_TRUE(intact) << "a stream came out of order or changed";
}

// A message longer than the connection's limit (lowered by the test hook): reading stops at the limit even
// in its middle, and a program that takes what is held gets the rest, in order.
TEST_F(NetworkLimitTest, AMessageLongerThanTheLimitIsTakenInParts) {
    constexpr int32_t kLimit = 1 << 20;
    SetNetWorkReceiveLimitsForTest(kLimit, 0);
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    const size_t kLong = 3u << 20;
    std::thread writer([&] {
        if (peer.sendAll(Frame(Pattern(kLong)))) peer.sendAll(Frame(Pattern(4096, kLong)));
    });
    ASSERT_EQ(AskUntil(handle, kLimit), kLimit);
    EXPECT_EQ(FindNetWorkRecord(handle)->receiveRemaining, (int32_t)(kLong - kLimit)) << "read past the limit";
    size_t taken = 0;
    bool intact = true;
    const DWORD start = GetTickCount();
    while (taken < kLong + 4096 && GetTickCount() - start < 30000) {
        const int held = GetNetWorkDataLength(handle);
        if (held > 0) {
            intact = intact && TakeIntact(handle, (size_t)held, taken, (size_t)held);
            taken += (size_t)held;
            EXPECT_LE(held, kLimit);
        } else {
            Sleep(1);
        }
    }
    if (taken < kLong + 4096) peer.close();
    writer.join();
    EXPECT_EQ(taken, kLong + 4096);
    EXPECT_TRUE(intact) << "the bytes changed";
    EXPECT_EQ(FindNetWorkRecord(handle)->error, 0);
}

// A ring grows within half again of what it holds plus the read-ahead while a waiting program lets 8 MB in,
// and gives the memory back as the program takes: no doubling past what is needed, no block kept for a backlog
// that is gone.
TEST_F(NetworkLimitTest, RingCapacityStaysWithinHalfAgainOfWhatItHolds) {
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    const int memoryAfterOpen = GetTrackedAllocTotalSize();
    constexpr size_t kPiece = 64u << 10;
    constexpr int kPieces = 128;
    std::thread writer([&] { peer.sendAll(Messages(kPiece, kPieces)); });
    const RingBuffer& ring = FindNetWorkRecord(handle)->receiveBuffer;
    int64_t worst = 0;  // capacity over the bound, at its worst
    const DWORD start = GetTickCount();
    while (ring.heldCount < (int32_t)(kPiece * kPieces) && GetTickCount() - start < 30000) {
        GetNetWorkDataLength(handle);
        worst = std::max(worst, ring.capacity - RingBound(ring.heldCount));
    }
    writer.join();
    ASSERT_EQ(ring.heldCount, (int32_t)(kPiece * kPieces));
    EXPECT_LE(worst, 0) << "a growth went past half again of what the ring holds";
    Bytes part(kPiece);
    for (int i = 0; i < kPieces; ++i) {
        ASSERT_EQ(NetWorkRecv(handle, part.data(), (int)kPiece), 0);
        EXPECT_LE(ring.capacity, RingBound(ring.heldCount)) << "after taking " << i + 1 << " pieces";
    }
    EXPECT_LE(GetTrackedAllocTotalSize() - memoryAfterOpen, RingBound(0)) << "memory kept after the backlog";
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
        listenPort_ = 0;
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

// A program that takes each message with NetWorkRecv alone, against a peer that writes far faster: the burst
// waits in the socket while the ring stays at the read-ahead (a ring grown towards the hold limit would be
// megabytes of fresh memory per connection), and every byte arrives in order. A recv that asks for more than
// is held reads what it needs, not the whole backlog.
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
            if (NetWorkRecv(handle, part.data(), (int)message) == 0) {
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
    // The runtime's passes alone, no caller waiting: the read-ahead stays in force.
    const DWORD start = GetTickCount();
    while ((record->streamFlags & kNetWorkReadPaused) == 0 && GetTickCount() - start < 5000) {
        PumpNetworkMessages(1);
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

// 64 peers each have a 64 KB message waiting when the runtime's passes begin: no pass reads more than its
// budget of bytes and recv calls over all of them, the budget is dealt out so that no connection runs ahead of
// another by more than one share, and every message arrives whole.
TEST_F(NetworkLimitTest, SixtyFourFloodingPeersShareEachPassesBudget) {
    constexpr int kPeers = 64;
    constexpr size_t kSize = 64u << 10;
    PeerSocket peers[kPeers];
    int handles[kPeers];
    ASSERT_TRUE(OpenEach(peers, handles, kPeers));
    for (int i = 0; i < kPeers; ++i) ASSERT_TRUE(peers[i].sendAll(Frame(Pattern(kSize, (size_t)i))));
    // Everything waits in the sockets before the first pass.
    for (int i = 0; i < kPeers; ++i) {
        const SOCKET s = FindNetWorkRecord(handles[i])->socket;
        u_long waiting = 0;
        const DWORD start = GetTickCount();
        while ((ioctlsocket(s, FIONREAD, &waiting), waiting < kSize + 4) && GetTickCount() - start < 5000) Sleep(1);
        ASSERT_EQ(waiting, kSize + 4) << "peer " << i;
    }
    const int64_t share = kNetWorkPassReadBytes / kNetWorkPassRecvCalls;
    unsigned long mostCalls = 0;
    unsigned long long mostBytes = 0;
    int64_t mostAhead = 0;  // the most one connection held beyond another after a pass
    int passes = 0;
    auto allHeld = [&] {
        for (int handle : handles) {
            if (FindNetWorkRecord(handle)->receiveBuffer.heldCount < (int32_t)kSize) return false;
        }
        return true;
    };
    while (!allHeld() && passes < 1000) {
        const unsigned long calls = GetNetWorkRecvCallCount();
        const unsigned long long bytes = GetNetWorkReceivedByteCount();
        PumpNetworkMessages(1);
        ++passes;
        mostCalls = std::max(mostCalls, GetNetWorkRecvCallCount() - calls);
        mostBytes = std::max(mostBytes, GetNetWorkReceivedByteCount() - bytes);
        int32_t least = INT32_MAX, most = 0;
        for (int handle : handles) {
            const int32_t held = FindNetWorkRecord(handle)->receiveBuffer.heldCount;
            least = std::min(least, held);
            most = std::max(most, held);
        }
        mostAhead = std::max(mostAhead, (int64_t)most - least);
    }
    ASSERT_TRUE(allHeld()) << "after " << passes << " passes";
    EXPECT_LE(mostCalls, (unsigned long)kNetWorkPassRecvCalls);
    EXPECT_LE(mostBytes, (unsigned long long)kNetWorkPassReadBytes);
    EXPECT_GE(passes, (int)(kPeers * kSize / kNetWorkPassReadBytes)) << "the budget was not applied";
    EXPECT_LE(mostAhead, share) << "a connection ran ahead of the others";
    Bytes got(kSize);
    for (int i = 0; i < kPeers; ++i) {
        ASSERT_EQ(NetWorkRecv(handles[i], got.data(), (int)kSize), 0);
        EXPECT_TRUE(got == Pattern(kSize, (size_t)i)) << "peer " << i;
    }
}
