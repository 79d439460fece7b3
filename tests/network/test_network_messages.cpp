// Moving bytes over loopback: length-prefixed messages in both directions (split headers, several messages
// per segment, growth, framing of queued sends, wrapping rings under steady traffic), raw-stream receive,
// peek and send, and the two bounded flushes of a close.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/network/network_test_support.h"

namespace {

class NetworkMessageTest : public NetworkTest {
   protected:
    // A length-prefixed connection (or raw with the default set) to a blocking peer.
    int Open(PeerSocket& peer, bool raw = false, bool noDelay = false) {
        const int port = Listen();
        SetNetWorkRawStreamDefault(raw ? 1 : 0);
        return AcceptPeer(peer, port, noDelay);
    }
    // The connection's record, its socket's send buffer made small: a large message stays in progress while
    // the peer does not read.
    static NetWorkRecord* WithSmallSendBuffer(int handle) {
        NetWorkRecord* record = FindNetWorkRecord(handle);
        int small = 4096;
        setsockopt(record->socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&small), sizeof(small));
        return record;
    }
    // Pumps until `count` message bytes are held, then takes them.
    Bytes Take(int handle, int count) {
        PumpUntil([&] { return GetNetWorkDataLength(handle) >= count; });
        Bytes out((size_t)count);
        EXPECT_EQ(NetWorkRecv(handle, out.data(), count), 0);
        return out;
    }
    // Reads `count` framed messages on the peer side, checking each length against `lengths`.
    static Bytes ReadFrames(const PeerSocket& peer, const std::vector<uint32_t>& lengths) {
        Bytes payload;
        for (uint32_t expected : lengths) {
            Bytes header = peer.receive(4);
            if (header.size() != 4) break;
            uint32_t length;
            memcpy(&length, header.data(), 4);
            EXPECT_EQ(length, expected);
            Bytes body = peer.receive(length);
            payload.insert(payload.end(), body.begin(), body.end());
        }
        return payload;
    }
};

// Runs the peer side on its own thread while the test thread pumps, as the runtime would.
class PeerThread {
   public:
    template <typename Fn>
    explicit PeerThread(Fn fn) : thread_([this, fn] {
          fn();
          done_ = true;
      }) {}
    ~PeerThread() { join(); }
    bool done() const { return done_; }
    void join() {
        if (thread_.joinable()) thread_.join();
    }

   private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

}  // namespace

TEST_F(NetworkMessageTest, HeaderSplitOverTwoSegmentsStartsNoMessageUntilComplete) {
    PeerSocket peer;
    const int handle = Open(peer, false, true);
    ASSERT_GE(handle, 0);
    const Bytes message = Pattern(300);
    const Bytes framed = Frame(message);
    ASSERT_TRUE(peer.sendAll(framed.data(), 2));
    PumpFor(100);
    NetWorkRecord* record = FindNetWorkRecord(handle);
    EXPECT_EQ(record->headerReceived, 2);
    EXPECT_EQ(GetNetWorkDataLength(handle), 0);
    EXPECT_EQ(record->receiveBuffer.capacity, 0) << "no message started";
    ASSERT_TRUE(peer.sendAll(framed.data() + 2, framed.size() - 2));
    EXPECT_EQ(Take(handle, 300), message);
}

TEST_F(NetworkMessageTest, SeveralMessagesInOneSegmentArriveAsOneStream) {
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    const Bytes stream = Pattern(5 + 0 + 1 + 200);
    Bytes segment;
    size_t at = 0;
    for (size_t size : {5, 0, 1, 200}) {
        const Bytes framed = Frame(Bytes(stream.begin() + (long)at, stream.begin() + (long)(at + size)));
        segment.insert(segment.end(), framed.begin(), framed.end());
        at += size;
    }
    ASSERT_TRUE(peer.sendAll(segment));
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(handle) == 206; }));

    Bytes out(207);
    EXPECT_EQ(NetWorkRecv(handle, out.data(), 207), -1) << "more than held takes nothing";
    EXPECT_EQ(NetWorkRecvToPeek(handle, out.data(), 206), 0);
    EXPECT_EQ(GetNetWorkDataLength(handle), 206);
    EXPECT_EQ(NetWorkRecv(handle, out.data(), 206), 0);
    out.resize(206);
    EXPECT_EQ(out, stream);
    EXPECT_EQ(GetNetWorkDataLength(handle), 0);
}

TEST_F(NetworkMessageTest, MessagesLargerThanTheFirstGrowthTravelBothWays) {
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    const Bytes incoming = Pattern(150000, 3);
    const Bytes outgoing = Pattern(120000, 11);
    Bytes received;
    PeerThread side([&] {
        peer.sendAll(Frame(incoming));
        received = ReadFrames(peer, {(uint32_t)outgoing.size()});
    });
    EXPECT_EQ(Take(handle, (int)incoming.size()), incoming);
    EXPECT_EQ(NetWorkSend(handle, outgoing.data(), (int)outgoing.size()), 0);
    EXPECT_TRUE(PumpUntil([&] { return side.done(); }));
    side.join();
    EXPECT_EQ(received, outgoing);
}

// With the socket's send buffer small and the peer not reading yet, a large message stays in progress. Bytes queued meanwhile (3 then 5)
// become one following message of 8, and a queueing whose growth is refused loses nothing already queued.
TEST_F(NetworkMessageTest, BytesQueuedBehindAMessageInProgressFormTheNextMessage) {
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    NetWorkRecord* record = WithSmallSendBuffer(handle);

    const Bytes big = Pattern(4 << 20, 1);
    ASSERT_EQ(NetWorkSend(handle, big.data(), (int)big.size()), 0);
    ASSERT_GT(record->sendRemaining, 0) << "the fixture needs the first message still in progress";
    ASSERT_EQ(NetWorkSend(handle, "abc", 3), 0);
    ASSERT_EQ(NetWorkSend(handle, "defgh", 5), 0);

    TrackedAllocSettings settings = GetTrackedAllocSettings();
    settings.testRefuseAfter = 1;
    SetTrackedAllocSettings(settings);
    const Bytes refused = Pattern(8 << 20);
    EXPECT_EQ(NetWorkSend(handle, refused.data(), (int)refused.size()), -1);
    settings.testRefuseAfter = 0;
    SetTrackedAllocSettings(settings);
    EXPECT_NE(ReadLog().find("送信データ 8388608 byte の追加に失敗しました in NewWorkSend"), std::string::npos);

    Bytes received;
    PeerThread side([&] { received = ReadFrames(peer, {(uint32_t)big.size(), 8}); });
    EXPECT_TRUE(PumpUntil([&] { return side.done(); }, 20000));
    side.join();
    Bytes expected = big;
    for (char c : std::string("abcdefgh")) expected.push_back((unsigned char)c);
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected) << "the stream was misframed or lost bytes";
}

// Both directions at once with reads and sends of odd sizes, so both rings wrap many times; the byte
// pattern comes through intact.
TEST_F(NetworkMessageTest, SteadyTrafficWrapsTheRingsAndKeepsThePattern) {
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    constexpr size_t kTotal = 600000;
    Bytes received;
    std::atomic<size_t> takenShared{0};
    // The writer keeps at most about 8 KB ahead of the reader, so the receive ring stays small and must wrap.
    std::thread writer([&] {
        size_t at = 0;
        const DWORD start = GetTickCount();
        for (size_t size = 1; at < kTotal && GetTickCount() - start < 30000; size = size * 7 % 3001 + 1) {
            while (at > takenShared.load() + 8192 && GetTickCount() - start < 30000) Sleep(1);
            const size_t n = std::min(size, kTotal - at);
            peer.sendAll(Frame(Pattern(n, at)));
            at += n;
        }
    });
    std::thread reader([&] {
        for (;;) {
            Bytes header = peer.receive(4);
            if (header.size() != 4) break;
            uint32_t length;
            memcpy(&length, header.data(), 4);
            Bytes body = peer.receive(length);
            received.insert(received.end(), body.begin(), body.end());
            if (received.size() >= kTotal || body.size() != length) break;
        }
    });

    NetWorkRecord* record = FindNetWorkRecord(handle);
    bool receiveWrapped = false;
    bool sendWrapped = false;
    RingBuffer lastIn = record->receiveBuffer;
    RingBuffer lastOut = record->sendBuffer;
    size_t taken = 0;
    size_t sent = 0;
    bool intact = true;
    const DWORD start = GetTickCount();
    for (int chunk = 1; (taken < kTotal || sent < kTotal) && GetTickCount() - start < 30000; chunk = chunk * 5 % 1999 + 1) {
        PumpNetworkMessages(1);
        const int held = GetNetWorkDataLength(handle);
        const int want = std::min<int>(std::min(chunk, held), (int)(kTotal - taken));
        if (want > 0) {
            Bytes part((size_t)want);
            ASSERT_EQ(NetWorkRecv(handle, part.data(), want), 0);
            intact = intact && part == Pattern((size_t)want, taken);
            taken += (size_t)want;
            takenShared = taken;
        }
        if (sent < kTotal && record->sendBuffer.heldCount < 20000) {
            const size_t n = std::min<size_t>((size_t)chunk, kTotal - sent);
            ASSERT_EQ(NetWorkSend(handle, Pattern(n, sent).data(), (int)n), 0);
            sent += n;
        }
        // A read position that went back without a growth has gone round the end of the block.
        receiveWrapped = receiveWrapped || (record->receiveBuffer.capacity == lastIn.capacity &&
                                            record->receiveBuffer.readPosition < lastIn.readPosition);
        sendWrapped = sendWrapped || (record->sendBuffer.capacity == lastOut.capacity &&
                                      record->sendBuffer.readPosition < lastOut.readPosition);
        lastIn = record->receiveBuffer;
        lastOut = record->sendBuffer;
        if (want <= 0) Sleep(0);
    }
    PumpUntil([&] { return received.size() >= kTotal; }, 10000);
    writer.join();
    peer.setReceiveTimeout(100);
    reader.join();
    EXPECT_EQ(taken, kTotal);
    EXPECT_TRUE(intact);
    EXPECT_TRUE(received == Pattern(kTotal)) << "sent stream differs; got " << received.size() << " bytes";
    EXPECT_TRUE(receiveWrapped) << "the receive ring never wrapped: the test did not exercise it";
    EXPECT_TRUE(sendWrapped) << "the send ring never wrapped: the test did not exercise it";
}

TEST_F(NetworkMessageTest, NegativeSizesAreRefused) {
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    char buffer[4];
    ResetLog();
    EXPECT_EQ(NetWorkSend(handle, buffer, -1), -1);
    EXPECT_EQ(NetWorkRecvToPeek(handle, buffer, -4), -1);
    EXPECT_EQ(NetWorkRecv(handle, buffer, -4), -1);
    const std::string log = ReadLog();
    EXPECT_NE(log.find("送信データ -1 byte は不正な長さです in NetWorkSend"), std::string::npos) << log;
    EXPECT_NE(log.find("受信サイズ -4 byte は不正です in NetWorkRecvToPeek"), std::string::npos) << log;
    EXPECT_EQ(FindNetWorkRecord(handle)->sendBuffer.heldCount, 0);
}

TEST_F(NetworkMessageTest, RawStreamReceivesPeeksAndSendsStraightThroughTheSocket) {
    PeerSocket peer;
    const int handle = Open(peer, true);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(FindNetWorkRecord(handle)->lengthPrefixMode, 0);
    EXPECT_EQ(GetNetWorkDataLength(handle), -1) << "nothing waiting: the would-block result as it is";
    ASSERT_TRUE(peer.sendText("hello"));
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(handle) == 1; }));
    char buffer[16] = {};
    EXPECT_EQ(NetWorkRecvToPeek(handle, buffer, 16), 5);
    EXPECT_EQ(NetWorkRecv(handle, buffer, 16), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(NetWorkSend(handle, "world", 5), 5);
    const Bytes echoed = peer.receive(5);
    EXPECT_EQ(std::string(echoed.begin(), echoed.end()), "world");
    peer.close();
    EXPECT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(handle) == 0; })) << "a closed peer gives 0";
}

// A close waits a second for the rest of a half-received message from a silent peer, then gives up on its bound
// (counted), the message still unfinished; with nothing queued it has nothing to send.
TEST_F(NetworkMessageTest, CloseGivesUpOnASilentPeerAfterTheReceiveFlush) {
    constexpr unsigned long kReceiveFlushBoundMs = 1000;
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    const Bytes framed = Frame(Pattern(100));
    ASSERT_TRUE(peer.sendAll(framed.data(), 14));
    NetWorkRecord* record = FindNetWorkRecord(handle);
    ASSERT_TRUE(PumpUntil([&] { return record->receiveRemaining == 90; }));
    ASSERT_EQ(record->sendBuffer.heldCount, 0);
    const unsigned long receiveRounds = GetNetWorkCloseFlushRoundCount();
    const unsigned long sendRounds = GetNetWorkSendFlushRoundCount();
    const unsigned long giveUps = GetNetWorkCloseGiveUpCount();
    const DWORD start = timeGetTime();
    EXPECT_EQ(CloseNetWorkHandle(handle), 0);
    const DWORD elapsed = timeGetTime() - start;
    const unsigned long receiveFlushRounds = GetNetWorkCloseFlushRoundCount() - receiveRounds;
    EXPECT_GE(elapsed, kReceiveFlushBoundMs - 50) << "the close gave up before its bound";
    EXPECT_GT(receiveFlushRounds, 0u) << "the close did not wait for the rest of the message";
    EXPECT_EQ(GetNetWorkCloseGiveUpCount() - giveUps, 1u) << "the close did not give up on the silent peer";
    EXPECT_EQ(GetNetWorkSendFlushRoundCount() - sendRounds, 0u) << "the close flushed with nothing queued";
    EXPECT_EQ(FindNetWorkRecord(handle), nullptr);
}

TEST_F(NetworkMessageTest, CloseFlushesQueuedBytesToAReadingPeer) {
    PeerSocket peer;
    const int handle = Open(peer);
    ASSERT_GE(handle, 0);
    NetWorkRecord* record = WithSmallSendBuffer(handle);
    const Bytes message = Pattern(1 << 20, 5);
    Bytes everything;
    PeerThread side([&] {
        Sleep(50);
        everything = peer.receiveAll();
    });
    ASSERT_EQ(NetWorkSend(handle, message.data(), (int)message.size()), 0);
    ASSERT_GT(record->sendBuffer.heldCount, 0) << "the fixture needs bytes still queued at the close";
    EXPECT_EQ(CloseNetWorkHandle(handle), 0);
    side.join();
    EXPECT_TRUE(everything == Frame(message)) << "peer got " << everything.size() << " bytes";
}

// A close with bytes still queued and the peer gone: the send flush ends as soon as the connection is known
// closed, whether the program saw the reset first or the first send of the flush meets it, while a peer that
// only stopped sending still gets every byte. Each case counts the flush's rounds (a millisecond each).
TEST_F(NetworkMessageTest, SendFlushEndsOnceThePeerIsGone) {
    enum class Peer { ResetNoticed, ResetUnnoticed, HalfClosedReading };
    const struct {
        const char* name;
        Peer peer;
    } cases[] = {
        {"reset, loss noticed before the close", Peer::ResetNoticed},
        {"reset, close right after it", Peer::ResetUnnoticed},
        {"peer stopped sending but reads", Peer::HalfClosedReading},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PeerSocket peer;
        const int handle = Open(peer);
        ASSERT_GE(handle, 0);
        NetWorkRecord* record = WithSmallSendBuffer(handle);
        const Bytes message = Pattern(1 << 20, 3);
        ASSERT_EQ(NetWorkSend(handle, message.data(), (int)message.size()), 0);
        ASSERT_GT(record->sendBuffer.heldCount, 0) << "the fixture needs bytes still queued at the close";

        Bytes everything;
        std::thread side;
        if (c.peer == Peer::HalfClosedReading) {
            ASSERT_EQ(shutdown(peer.get(), 1), 0);  // 1: no more sends (winsock.h names no constant)
            side = std::thread([&] {
                Sleep(50);
                everything = peer.receiveAll();
            });
        } else {
            // Unread bytes and a zero linger: the peer's close resets the connection.
            const linger abort = {1, 0};
            setsockopt(peer.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof(abort));
            peer.close();
        }
        if (c.peer != Peer::ResetUnnoticed) {
            const bool lossSeen = PumpUntil([&] { return GetNetWorkAcceptState(handle) == 0; });
            EXPECT_TRUE(lossSeen);
        }

        const unsigned long rounds = GetNetWorkSendFlushRoundCount();
        EXPECT_EQ(CloseNetWorkHandle(handle), 0);
        const unsigned long flushRounds = GetNetWorkSendFlushRoundCount() - rounds;
        EXPECT_EQ(FindNetWorkRecord(handle), nullptr);
        if (side.joinable()) side.join();
        switch (c.peer) {
        case Peer::ResetNoticed:
            EXPECT_EQ(flushRounds, 0u) << "the close flushed to a connection known reset";
            break;
        case Peer::ResetUnnoticed:
            EXPECT_LE(flushRounds, 1u) << "the flush went on after a send failed";
            break;
        case Peer::HalfClosedReading:
            EXPECT_GT(flushRounds, 0u) << "the fixture needs the flush to have run";
            EXPECT_TRUE(everything == Frame(message)) << "peer got " << everything.size() << " bytes";
            break;
        }
        EXPECT_EQ(CloseNetWorkHandle(listenHandle_), 0);  // the next case listens again
    }
}

TEST_F(NetworkMessageTest, RawStreamHandleClosesAtOnce) {
    PeerSocket peer;
    const int handle = Open(peer, true);
    ASSERT_GE(handle, 0);
    ASSERT_TRUE(peer.sendText("unread"));
    PumpFor(50);
    // A raw stream never holds a half-received message, so the close has nothing to wait for.
    NetWorkRecord* record = FindNetWorkRecord(handle);
    EXPECT_EQ(record->receiveRemaining, 0);
    EXPECT_EQ(record->headerReceived, 0);
    const unsigned long rounds = GetNetWorkCloseFlushRoundCount();
    EXPECT_EQ(CloseNetWorkHandle(handle), 0);
    EXPECT_EQ(GetNetWorkCloseFlushRoundCount() - rounds, 0u) << "the close waited for a message";
    EXPECT_TRUE(peer.receiveAll().empty());
}

// A program that only calls the operations, never the runtime's pass: an operation skips the drain that an
// earlier one found empty within the same millisecond, but a notification posted since is still taken by a
// later call, so bytes that arrive after an empty drain show up. Several rounds, each message sent right
// after a call has drained an empty queue.
TEST_F(NetworkMessageTest, BytesThatArriveAfterAnEmptyDrainReachAProgramThatOnlyCallsOperations) {
    PeerSocket peer;
    const int handle = Open(peer, false, true);
    ASSERT_GE(handle, 0);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(GetNetWorkDataLength(handle), 0);
        const Bytes message = Pattern(1000, (size_t)round);
        ASSERT_TRUE(peer.sendAll(Frame(message)));
        const DWORD start = GetTickCount();
        while (GetNetWorkDataLength(handle) < (int)message.size() && GetTickCount() - start < 5000) Sleep(0);
        Bytes got(message.size());
        ASSERT_EQ(NetWorkRecv(handle, got.data(), (int)got.size()), 0) << "the message never showed";
        EXPECT_EQ(got, message);
    }
}
