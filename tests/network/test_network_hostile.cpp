// Hostile peers inside the running runtime: length headers that cannot be held put the connection into
// error (never a receive past the block or an endless retry), and a peer that sends part of a header and
// stops raises no flood of notifications. ProcessMessage keeps returning throughout, the next closing pump
// frees the record in error, and shutdown leaves nothing behind.
#include <gtest/gtest.h>

#include "runtime/api_lock.h"
#include "tests/network/network_test_support.h"

namespace {

class HostilePeerTest : public LibraryTest {
   protected:
    static int ConnectionCount() {
        ApiLockScope lock;
        int count = 0;
        NetworkState* state = GetNetworkState();
        for (HandleChainNode* n = state->chainHead.next; n != nullptr && n != &state->chainTail; n = n->next) {
            if (HandleSlotOf(n->handle) != kNetWorkListenSlot) ++count;
        }
        return count;
    }
    static NetWorkRecord* Newest() {
        NetworkState* state = GetNetworkState();
        HandleChainNode* n = state->chainHead.next;
        return n != &state->chainTail && HandleSlotOf(n->handle) != kNetWorkListenSlot
                   ? static_cast<NetWorkRecord*>(n->data)
                   : nullptr;
    }
    // Calls ProcessMessage for `ms`; false if it ever failed to return 0.
    static bool ProcessFor(DWORD ms) {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < ms) {
            if (ProcessMessage() != 0) return false;
            Sleep(1);
        }
        return true;
    }
};

}  // namespace

TEST_F(HostilePeerTest, UnholdableLengthsAndPartialHeadersStayBounded) {
    SetLibraryNoGraphics(1);
    SetLibraryNoSound(1);
    ASSERT_EQ(StartUpLibrary(), 0);
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
    int blocksBefore = 0;
    int port = 0;
    {
        ApiLockScope lock;
        blocksBefore = GetTrackedAllocCount();
        ASSERT_EQ(StartNetWork(), 0);  // on the thread that calls ProcessMessage
        ASSERT_GE(StartListenNetWork(0, 1, &port), 0);
    }
    const struct {
        const char* name;
        size_t heldFirst;  // bytes of one earlier message left unread
        Bytes header;
        bool error;
        int logged;  // the length in the failure line
    } cases[] = {
        {"length -1", 0, {0xFF, 0xFF, 0xFF, 0xFF}, true, -1},
        {"length 0x80000000", 0, {0x00, 0x00, 0x00, 0x80}, true, (int)0x80000000},
        {"length 0x7FFFFFFF", 0, {0xFF, 0xFF, 0xFF, 0x7F}, true, 0x7FFFFFFF},
        // 5000 held + 0x7FFFEE00 + slack passes INT32_MAX: 32-bit sums would wrap to a small block.
        {"length that wraps with bytes held", 5000, {0x00, 0xEE, 0xFF, 0x7F}, true, 0x7FFFEE00},
        {"1 header byte, then silence", 0, {0x10}, false, 0},
        {"2 header bytes, then silence", 0, {0x10, 0x00}, false, 0},
        {"3 header bytes, then silence", 0, {0x10, 0x00, 0x00}, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int before = ConnectionCount();
        PeerSocket peer = PeerSocket::Connect(port, true);
        ASSERT_TRUE(peer.valid());
        const DWORD start = GetTickCount();
        while (ConnectionCount() == before && GetTickCount() - start < 5000) ProcessMessage();
        ASSERT_EQ(ConnectionCount(), before + 1);
        int handle;
        {
            ApiLockScope lock;
            handle = Newest()->chainNode.handle;
        }
        if (c.heldFirst > 0) {
            ASSERT_TRUE(peer.sendAll(Frame(Pattern(c.heldFirst))));
            const DWORD wait = GetTickCount();
            for (;;) {
                ProcessMessage();
                ApiLockScope lock;
                if (FindNetWorkRecord(handle)->receiveBuffer.heldCount == (int)c.heldFirst || GetTickCount() - wait > 5000) break;
            }
        }
        unsigned long notificationsBefore;
        {
            ApiLockScope lock;
            notificationsBefore = GetSocketNotificationCount();
        }
        ASSERT_TRUE(peer.sendAll(c.header));
        EXPECT_TRUE(ProcessFor(400)) << "ProcessMessage stopped returning 0";
        ApiLockScope lock;
        EXPECT_LT(GetSocketNotificationCount() - notificationsBefore, 20u) << "notifications flooded";
        EXPECT_EQ(CheckAllocations(), 0);
        NetWorkRecord* record = FindNetWorkRecord(handle);
        if (c.error) {
            // The record in error was closed by a closing pump of the passes above.
            EXPECT_EQ(record, nullptr) << "the record in error is still open";
            char line[160];
            snprintf(line, sizeof(line), "受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)",
                     c.logged);
            EXPECT_TRUE(LogHas(line)) << line;
        } else {
            ASSERT_NE(record, nullptr);
            EXPECT_EQ(record->error, 0);
            EXPECT_EQ(record->headerReceived, (int)c.header.size());
            EXPECT_EQ(record->receiveBuffer.capacity, 0) << "no message was started";
            EXPECT_EQ(GetNetWorkDataLength(handle), 0);
            EXPECT_EQ(CloseNetWorkHandle(handle), 0) << "the close gives up after its bounded flush";
        }
    }
    {
        ApiLockScope lock;
        EXPECT_EQ(NetworkShutDown(), 0);
        EXPECT_EQ(CheckAllocations(), 0);
        EXPECT_EQ(GetTrackedAllocCount(), blocksBefore) << "network blocks left after shutdown";
    }
    WSACleanup();
    EXPECT_EQ(ShutDownLibrary(), 0);
    ExpectInOrder({"ネットワーク関連の終了処理を行います ", "ネットワーク関連の終了処理は完了しました"});
}
