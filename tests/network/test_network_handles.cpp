// Network handles: the listening record accepts connections into the chain, the table and the serial
// counter have their limits, stale and foreign handles are refused quietly, the validation lines name each
// operation, and a reported loss is closed by the next pump only with auto-close. Without a start every
// operation returns at once, also inside the real runtime.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "runtime/api_lock.h"
#include "runtime/message_pump.h"
#include "tests/network/network_test_support.h"

using NetworkHandleTest = NetworkTest;
using NetworkIdleRuntimeTest = LibraryTest;

TEST_F(NetworkHandleTest, ListeningRecordAcceptsIntoTheChain) {
    const int port = Listen();
    EXPECT_EQ(HandleSlotOf(listenHandle_), kNetWorkListenSlot);
    EXPECT_EQ(GetNetWorkAcceptState(listenHandle_), 1) << "slot 4096 is a valid handle while its record lives";

    PeerSocket peer;
    const int handle = AcceptPeer(peer, port);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(HandleTypeOf(handle), kHandleTypeNetwork);
    EXPECT_LT(HandleSlotOf(handle), kNetWorkListenSlot);
    EXPECT_EQ(GetNetWorkAcceptState(handle), 1);

    sockaddr_in local{};
    int length = (int)sizeof(local);
    getsockname(peer.get(), reinterpret_cast<sockaddr*>(&local), &length);
    unsigned char address[4] = {};
    int peerPort = 0;
    ASSERT_EQ(GetNetWorkPeerAddress(handle, address, &peerPort), 0);
    EXPECT_EQ(address[0], 127);
    EXPECT_EQ(address[3], 1);
    EXPECT_EQ(peerPort, ntohs(local.sin_port));
}

// The table is filled with stand-in records, not 4096 sockets; the listening slot is never handed out.
TEST_F(NetworkHandleTest, FullTableRefusesTheAcceptAndRecovers) {
    const int port = Listen();
    NetworkState* state = GetNetworkState();
    NetWorkRecord standIn{};
    standIn.inUse = 1;
    for (int slot = 0; slot < kNetWorkConnectionSlots; ++slot) state->records[slot] = &standIn;

    PeerSocket peer = PeerSocket::Connect(port);
    ASSERT_TRUE(peer.valid());
    EXPECT_TRUE(PumpUntil([&] { return LogHas("空きソケットデータがなかったので accept を拒否しました \r\n"); }));
    EXPECT_TRUE(Connections().empty());
    for (int slot = 0; slot < kNetWorkConnectionSlots; ++slot) state->records[slot] = nullptr;

    // The pending connection is still there to take.
    EXPECT_EQ(AcceptNetWork(), 1);
    ASSERT_EQ(Connections().size(), 1u);
    EXPECT_EQ(HandleSlotOf(Connections().front()), 0);
}

// 100 connects in a row while the program is between passes: the listen queue holds them all (a short queue
// makes the system drop connects, which retry only after a second), and the one notification the next pass
// finds accepts every one of them.
TEST_F(NetworkHandleTest, HundredConnectsInARowAreAllAcceptedByOnePass) {
    const int port = Listen();
    constexpr int kConnects = 100;
    std::vector<PeerSocket> peers(kConnects);
    int connected = 0;
    std::thread client([&] {
        for (PeerSocket& peer : peers) {
            peer = PeerSocket::Connect(port);
            if (!peer.valid()) break;
            ++connected;
        }
    });
    client.join();  // nothing pumps meanwhile
    ASSERT_EQ(connected, kConnects);
    ASSERT_TRUE(PumpUntil([] { return !Connections().empty(); }));
    EXPECT_EQ(Connections().size(), (size_t)kConnects) << "one pass accepted only part of what waited";
    EXPECT_TRUE(PumpUntil([] { return Connections().size() == (size_t)kConnects; }));
    for (int handle : Connections()) EXPECT_EQ(GetNetWorkAcceptState(handle), 1);
    EXPECT_FALSE(LogHas("acceptに失敗しました")) << "a notification found nothing to accept and said so";
}

TEST_F(NetworkHandleTest, SerialCounterWrapsAfter2047) {
    const int port = Listen();
    GetNetworkState()->serialCounter = 2047;
    PeerSocket first;
    PeerSocket second;
    const int a = AcceptPeer(first, port);
    const int b = AcceptPeer(second, port);
    EXPECT_EQ(HandleCheckIdOf(a), 2047);
    EXPECT_EQ(HandleCheckIdOf(b), 0);
    EXPECT_EQ(GetNetworkState()->serialCounter, 1);
}

// Every handle-taking operation: a stale or foreign handle gives -1 with no line; a record not in use or in
// error gives -1 with the operation's own line.
TEST_F(NetworkHandleTest, ValidationRefusesWithTheOperationsLines) {
    const int port = Listen();
    PeerSocket peer;
    const int handle = AcceptPeer(peer, port);
    ASSERT_GE(handle, 0);
    char buffer[8] = {};
    const struct {
        const char* name;
        int (*call)(int handle, char* buffer);
        const char* notInUse;
        const char* inError;
    } operations[] = {
        {"RecvSocket", [](int h, char*) { return RecvSocket(h); }, "有効なネットワークハンドルではありません in RecvSocket\r\n",
         "このネットワークハンドルにはエラーが発生しています in RecvSocket\r\n"},
        {"SendSocket", [](int h, char*) { return SendSocket(h); }, "有効なネットワークハンドルではありません in SendSocket\r\n",
         "このネットワークハンドルにはエラーが発生しています in SendSocket\r\n"},
        {"GetNetWorkAcceptState", [](int h, char*) { return GetNetWorkAcceptState(h); },
         "有効なネットワークハンドルではありません in GetNetWorkAcceptState\r\n",
         "このネットワークハンドルにはエラーが発生しています in GetNetWorkAcceptStateh\r\n"},
        {"GetNetWorkDataLength", [](int h, char*) { return GetNetWorkDataLength(h); },
         "有効なネットワークハンドルではありません in GetNetWorkDataLength\r\n",
         "このネットワークハンドルにはエラーが発生しています in GetNetWorkDataLength\r\n"},
        {"NetWorkRecv", [](int h, char* b) { return NetWorkRecv(h, b, 1); },
         "有効なネットワークハンドルではありません in NetWorkRecv\r\n",
         "このネットワークハンドルにはエラーが発生しています in NetWorkRecv\r\n"},
        {"NetWorkRecvToPeek", [](int h, char* b) { return NetWorkRecvToPeek(h, b, 1); },
         "有効なネットワークハンドルではありません in NetWorkRecvToPeek\r\n",
         "このネットワークハンドルにはエラーが発生しています in NetWorkRecvToPeek\r\n"},
        {"NetWorkSend", [](int h, char* b) { return NetWorkSend(h, b, 1); },
         "有効なネットワークハンドルではありません in NetWorkSend\r\n",
         "このネットワークハンドルにはエラーが発生しています in NetWorkSend\r\n"},
    };
    const int slot = HandleSlotOf(handle);
    const int foreign[] = {
        handle | (int)0x80000000, MakeHandle(kHandleTypeMaskData, HandleCheckIdOf(handle), slot),
        MakeNetWorkHandle(HandleCheckIdOf(handle), kNetWorkSlotCount), MakeNetWorkHandle(HandleCheckIdOf(handle) + 1, slot),
        MakeNetWorkHandle(0, 17)};
    NetWorkRecord* record = FindNetWorkRecord(handle);
    ASSERT_NE(record, nullptr);
    for (const auto& op : operations) {
        SCOPED_TRACE(op.name);
        ResetLog();
        for (int bad : foreign) EXPECT_EQ(op.call(bad, buffer), -1) << std::hex << bad;
        EXPECT_EQ(ReadLog(), "");
        record->inUse = 0;
        EXPECT_EQ(op.call(handle, buffer), -1);
        record->inUse = 1;
        record->error = 1;
        EXPECT_EQ(op.call(handle, buffer), -1);
        record->error = 0;
        // GetNetWorkDataLength runs both pumps before its own check, so their lines may come first.
        const std::string log = ReadLog();
        const size_t notInUseAt = log.find(op.notInUse);
        EXPECT_NE(notInUseAt, std::string::npos) << log;
        EXPECT_NE(log.find(op.inError, notInUseAt), std::string::npos) << log;
    }
    EXPECT_EQ(CloseNetWorkHandle(handle), 0);
    ResetLog();
    for (const auto& op : operations) EXPECT_EQ(op.call(handle, buffer), -1) << op.name << " on a closed handle";
    EXPECT_EQ(CloseNetWorkHandle(handle), -1);
    EXPECT_EQ(ReadLog(), "");
}

TEST_F(NetworkHandleTest, NotificationForAnUnknownSocketIsLogged) {
    ResetLog();
    EXPECT_EQ(SendMessageA(GetNetworkState()->socketWindow, kSocketMessage, 12345, FD_READ), 0);
    EXPECT_EQ(ReadLog(), "通信エラー No.1\r\n");
}

// After the peer closes: the first query reports 0 and marks the loss; the next closing pump frees the
// handle only with auto-close. Sending on the lost connection fails quietly either way.
TEST_F(NetworkHandleTest, ReportedLossIsClosedByThePumpOnlyWithAutoClose) {
    const int port = Listen();
    for (int noAutoClose : {0, 1}) {
        SCOPED_TRACE(noAutoClose ? "without auto-close" : "with auto-close");
        SetNetWorkNoAutoCloseDefault(noAutoClose);
        PeerSocket peer;
        const int handle = AcceptPeer(peer, port);
        ASSERT_GE(handle, 0);
        NetWorkRecord* record = FindNetWorkRecord(handle);
        EXPECT_EQ(record->autoClose, noAutoClose ? 0 : 1);
        peer.close();
        ASSERT_TRUE(PumpUntil([&] { return record->connected == 0; }));
        EXPECT_EQ(record->lossReported, 0);
        PumpNetworkMessages(1);
        ASSERT_EQ(FindNetWorkRecord(handle), record) << "an unreported loss is not closed";

        ResetLog();
        EXPECT_EQ(GetNetWorkAcceptState(handle), 0);
        EXPECT_EQ(record->lossReported, 1);
        EXPECT_EQ(NetWorkSend(handle, "x", 1), -1);
        PumpNetworkMessages(1);
        if (noAutoClose) {
            EXPECT_EQ(FindNetWorkRecord(handle), record);
            EXPECT_EQ(GetNetWorkAcceptState(handle), 0);
            EXPECT_EQ(CloseNetWorkHandle(handle), 0);
        } else {
            EXPECT_EQ(FindNetWorkRecord(handle), nullptr);
            EXPECT_EQ(GetNetWorkAcceptState(handle), -1);
        }
        EXPECT_EQ(ReadLog(), "");
    }
}

// The program never starts the network: inside the running runtime every operation returns at once and the
// pump, the HTTP service and shutdown find nothing to do.
TEST_F(NetworkIdleRuntimeTest, UnstartedNetworkReturnsAtOnceInsideTheRuntime) {
    SetLibraryNoGraphics(1);
    SetLibraryNoSound(1);
    ASSERT_EQ(StartUpLibrary(), 0);
    EXPECT_EQ(ProcessMessage(), 0);
    {
        ApiLockScope lock;
        char buffer[4];
        const int handle = MakeNetWorkHandle(0, 0);
        EXPECT_EQ(PumpNetworkMessages(1), 0);
        EXPECT_EQ(ServiceHttpRequests(), 0);
        EXPECT_EQ(AcceptNetWork(), -1);
        EXPECT_EQ(CloseNetWorkHandle(handle), -1);
        EXPECT_EQ(RecvSocket(handle), -1);
        EXPECT_EQ(SendSocket(handle), -1);
        EXPECT_EQ(GetNetWorkAcceptState(handle), -1);
        EXPECT_EQ(GetNetWorkDataLength(handle), -1);
        EXPECT_EQ(NetWorkRecv(handle, buffer, 1), -1);
        EXPECT_EQ(NetWorkRecvToPeek(handle, buffer, 1), -1);
        EXPECT_EQ(NetWorkSend(handle, buffer, 1), -1);
        EXPECT_EQ(HttpEndRequest(0), -1);
        EXPECT_EQ(NetworkShutDown(), 0);
    }
    // The main window passes socket notifications on; no record owns the socket.
    EXPECT_EQ(SendMessageA(GetMainHwnd(), kSocketMessage, 4321, FD_READ), 0);
    EXPECT_EQ(ShutDownLibrary(), 0);
    EXPECT_TRUE(LogHas("通信エラー No.1"));
    EXPECT_FALSE(LogHas("ネットワーク関連の終了処理")) << "shutdown of an unstarted network logs nothing";
}
