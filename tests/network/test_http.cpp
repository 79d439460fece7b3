// HTTP/1.0 requests against a scripted loopback server that records the request bytes: the exact request
// texts, bodies to memory and to a file, the answers that fail a request (statuses, malformed or endless
// lines, bad lengths, a connection that ends early) and the ones that must not hang it.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "tests/network/network_test_support.h"

namespace {

enum class ServerEnd { kClose, kKeepOpen, kNeverAnswer };

// Accepts one connection, records the request (headers, then as many body bytes as its Content-Length
// says), sends the answer and then closes, or waits for the client to close first.
class ScriptedServer {
   public:
    ScriptedServer(std::string answer, ServerEnd end) {
        thread_ = std::thread([this, answer, end] {
            PeerSocket client = listener_.accept();
            if (!client.valid()) return;
            ReadRequest(client);
            requestRead_ = true;
            if (end != ServerEnd::kNeverAnswer) client.sendText(answer);
            if (end != ServerEnd::kClose) {
                client.setReceiveTimeout(20000);
                client.receiveAll();
            }
            client.close();
            done_ = true;
        });
    }
    ~ScriptedServer() { join(); }
    int port() const { return listener_.port(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    bool done() const { return done_; }
    // The whole request has arrived (the answer, if any, follows).
    bool requestRead() const { return requestRead_; }
    const std::string& request() const { return request_; }

   private:
    void ReadRequest(const PeerSocket& client) {
        size_t headerEnd = std::string::npos;
        while (headerEnd == std::string::npos) {
            Bytes part = client.receive(1);
            if (part.empty()) return;
            request_.push_back((char)part[0]);
            if (request_.size() >= 4 && request_.compare(request_.size() - 4, 4, "\r\n\r\n") == 0) headerEnd = 0;
            if (request_.size() >= 2 && request_.compare(request_.size() - 2, 2, "\n\n") == 0) headerEnd = 0;
        }
        const size_t at = request_.find("Content-Length: ");
        if (at == std::string::npos) return;
        const size_t length = std::stoul(request_.substr(at + 16));
        Bytes body = client.receive(length);
        request_.append(body.begin(), body.end());
    }

    PeerListener listener_;
    std::string request_;
    std::atomic<bool> requestRead_{false};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

struct Outcome {
    int result = -9, detail = -9, contentLength = -9;
};

class HttpTest : public NetworkTest {
   protected:
    void SetUp() override {
        NetworkTest::SetUp();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        filePath_ = std::string(temp) + "kv_http_" + std::to_string(GetCurrentProcessId()) + ".bin";
    }
    void TearDown() override {
        DeleteFileA(filePath_.c_str());
        NetworkTest::TearDown();
    }
    HANDLE OpenBodyFile() const {
        return CreateFileA(filePath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    std::string FileBody() const { return ReadFile(filePath_); }

    int Create(int kind, int port, const std::string& path, void** body, const std::string& post = "") {
        HttpRequestFields request{};
        request.kind = kind;
        request.host = "127.0.0.1";
        request.port = port;
        request.path = path.c_str();
        request.postData = post.data();
        request.postLength = (int)post.size();
        request.bodyPointerLocation = body;
        request.file = body == nullptr && kind != kHttpHead ? OpenBodyFile() : nullptr;
        request.connectTimeoutMs = 3000;
        return HttpCreateRequest(request);
    }
    static Outcome StateOf(int index) {
        Outcome o;
        HttpGetRequestState(index, &o.result, &o.detail, &o.contentLength);
        return o;
    }
    // Pumps as the runtime does until the request has finished.
    static Outcome RunToEnd(int index, DWORD timeoutMs = 8000) {
        PumpUntil([&] { return StateOf(index).result != -1; }, timeoutMs);
        return StateOf(index);
    }

    std::string filePath_;
};

}  // namespace

TEST_F(HttpTest, RequestTextsAreSentExactly) {
    const std::string longPath = "/" + std::string(254, 'p');  // the longest path: no truncation
    const struct {
        const char* name;
        int kind;
        std::string path;
        std::string post;
        const char* format;
    } cases[] = {
        {"GET", kHttpGet, "/a/b?c=1", "", "GET /a/b?c=1 HTTP/1.0\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n\r\n"},
        {"POST", kHttpPost, "/form", "x=1&y=2", "POST /form HTTP/1.0\nHost: 127.0.0.1:%d\nContent-Length: 7\n\nx=1&y=2"},
        {"HEAD", kHttpHead, "/h", "", "HEAD /h HTTP/1.0\n\n"},
        {"POST with the longest path", kHttpPost, longPath, "z",
         "POST %s HTTP/1.0\nHost: 127.0.0.1:%d\nContent-Length: 1\n\nz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok", ServerEnd::kClose);
        void* body = nullptr;
        const int index = Create(c.kind, server.port(), c.path, &body, c.post);
        ASSERT_GE(index, 0);
        const Outcome o = RunToEnd(index);
        server.join();
        char expected[1024];
        if (c.path == longPath) {
            snprintf(expected, sizeof(expected), c.format, longPath.c_str(), server.port());
        } else {
            snprintf(expected, sizeof(expected), c.format, server.port());
        }
        EXPECT_EQ(server.request(), expected);
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(o.detail, -1);
        EXPECT_EQ(o.contentLength, 2);
        if (c.kind != kHttpHead) {
            ASSERT_NE(body, nullptr);
            EXPECT_EQ(std::string(static_cast<char*>(body), 2), "ok");
        }
        TrackedFree(body);
        EXPECT_EQ(HttpEndRequest(index), 0);
    }
}

TEST_F(HttpTest, AnswersFinishRequestsAsTheySay) {
    const std::string tenThousand(10000, 'k');
    const std::string rawBody(3000, 'r');
    const struct {
        const char* name;
        int kind;
        bool memory;
        std::string answer;
        ServerEnd end;
        int result, detail, contentLength;
        std::string body;     // memory block or file content on success
        const char* logPart;  // a line the case must write, or null
    } cases[] = {
        {"200 with a length, to memory", kHttpGet, true, "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello",
         ServerEnd::kClose, 0, -1, 5, "hello", nullptr},
        {"10000 bytes to a file, more waiting", kHttpGet, false,
         "HTTP/1.0 200 OK\r\nContent-Length: 10000\r\n\r\n" + tenThousand + "TRAILING", ServerEnd::kKeepOpen, 0, -1,
         10000, tenThousand, nullptr},
        {"lower-case name, no blank", kHttpGet, true, "HTTP/1.0 200 OK\r\ncontent-length:5\r\n\r\nhello",
         ServerEnd::kClose, 0, -1, 5, "hello", nullptr},
        {"no length, to a file until close", kHttpGet, false, "HTTP/1.0 200 OK\r\nServer: t\r\n\r\n" + rawBody,
         ServerEnd::kClose, 0, -1, -1, rawBody, nullptr},
        {"no length, to memory", kHttpGet, true, "HTTP/1.0 200 OK\r\nServer: t\r\n\r\nhello", ServerEnd::kKeepOpen, 2,
         3, -1, "", nullptr},
        {"chunked reply taken as raw bytes", kHttpPost, false,
         "HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", ServerEnd::kClose, 0, -1, -1,
         "5\r\nhello\r\n0\r\n\r\n", nullptr},
        {"404 on GET", kHttpGet, true, "HTTP/1.0 404 Not Found\r\n\r\n", ServerEnd::kClose, 2, 1, -1, "",
         "接続に失敗しました (戻り値:404)\r\n"},
        {"404 on POST", kHttpPost, true, "HTTP/1.0 404 Not Found\r\n\r\n", ServerEnd::kClose, 2, 1, -1, "", nullptr},
        {"HEAD with a length", kHttpHead, false, "HTTP/1.0 200 OK\r\nServer: t\r\nContent-Length: 1234\r\n\r\n",
         ServerEnd::kKeepOpen, 0, -1, 1234, "", nullptr},
        {"HEAD without a length", kHttpHead, false, "HTTP/1.0 200 OK\r\nServer: t\r\n\r\n", ServerEnd::kClose, 2, 3, -1,
         "", nullptr},
        {"duplicate length", kHttpGet, true,
         "HTTP/1.0 200 OK\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\nhello", ServerEnd::kClose, 2, 0, 5, "",
         "HTTP の応答の Content-Length が不正です\r\n"},
        {"negative length", kHttpGet, true, "HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nhello", ServerEnd::kKeepOpen,
         2, 0, -1, "", "HTTP の応答の Content-Length が不正です\r\n"},
        {"non-numeric length", kHttpHead, false, "HTTP/1.0 200 OK\r\nContent-Length: 12abc\r\n\r\n",
         ServerEnd::kKeepOpen, 2, 0, -1, "", "HTTP の応答の Content-Length が不正です\r\n"},
        {"status line without a number", kHttpGet, true, "HTTP/1.0 OK\r\n\r\n", ServerEnd::kClose, 2, 0, -1, "",
         "接続に失敗しました (戻り値:-1)\r\n"},
        {"line over 254 bytes", kHttpGet, true, "HTTP/1.0 200 OK\r\nX-Long: " + std::string(300, 'a') + "\r\n\r\n",
         ServerEnd::kKeepOpen, 2, 0, -1, "", "HTTP の応答行が長すぎるか不正な文字を含んでいます\r\n"},
        {"NUL in a line", kHttpGet, true, std::string("HTTP/1.0 200 OK\r\nX-A: a\0b\r\n\r\n", 29), ServerEnd::kClose,
         2, 0, -1, "", "HTTP の応答行が長すぎるか不正な文字を含んでいます\r\n"},
        {"server closes mid-body", kHttpGet, true, "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(40, 'm'),
         ServerEnd::kClose, 2, 3, 100, "", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetLog();
        ScriptedServer server(c.answer, c.end);
        void* body = reinterpret_cast<void*>(1);
        const int index = Create(c.kind, server.port(), "/x", c.memory ? &body : nullptr);
        ASSERT_GE(index, 0);
        const Outcome o = RunToEnd(index);
        EXPECT_EQ(o.result, c.result);
        EXPECT_EQ(o.detail, c.detail);
        EXPECT_EQ(o.contentLength, c.contentLength);
        if (c.memory) {
            if (c.result == 0) {
                ASSERT_NE(body, nullptr);
                EXPECT_EQ(std::string(static_cast<char*>(body), c.body.size()), c.body);
            } else {
                EXPECT_EQ(body, nullptr) << "a failed request leaves no body";
            }
            TrackedFree(body);
        } else if (c.kind != kHttpHead && c.result == 0) {
            EXPECT_TRUE(FileBody() == c.body) << "file holds " << FileBody().size() << " bytes";
        }
        EXPECT_EQ(HttpEndRequest(index), 0);
        server.join();
        const std::string log = ReadLog();
        if (c.logPart) {
            EXPECT_EQ(CountOf(log, c.logPart), 1) << log;
        } else {
            EXPECT_EQ(log.find("接続に失敗しました"), std::string::npos) << log;
        }
    }
}

TEST_F(HttpTest, LargePostArrivesWhole) {
    std::string post(1 << 20, '\0');
    for (size_t i = 0; i < post.size(); ++i) post[i] = (char)(i * 31 + (i >> 10));
    ScriptedServer server("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", ServerEnd::kClose);
    void* body = nullptr;
    const int index = Create(kHttpPost, server.port(), "/upload", &body, post);
    ASSERT_GE(index, 0);
    const Outcome o = RunToEnd(index, 20000);
    server.join();
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.detail, -1);
    const std::string& request = server.request();
    ASSERT_GE(request.size(), post.size());
    EXPECT_TRUE(request.compare(request.size() - post.size(), post.size(), post) == 0) << "the post data differ";
    TrackedFree(body);
    EXPECT_EQ(HttpEndRequest(index), 0);
}

// A 64 MB download without a length, to a file: many passes, none taking more than its share, and the file
// complete once the server has closed.
TEST_F(HttpTest, LongDownloadIsTakenABoundedAmountPerPass) {
    std::string body(64u << 20, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = (char)(i * 7 + (i >> 12));
    ScriptedServer server("HTTP/1.0 200 OK\r\nServer: t\r\n\r\n" + body, ServerEnd::kClose);
    const int index = Create(kHttpGet, server.port(), "/big", nullptr);
    ASSERT_GE(index, 0);
    int passesWithBytes = 0;
    int mostPerPass = 0;
    const DWORD start = GetTickCount();
    while (StateOf(index).result == -1 && GetTickCount() - start < 40000) {
        const int before = HttpGetRequestReceived(index);
        PumpNetworkMessages(1);
        ServiceHttpRequests();
        const int taken = HttpGetRequestReceived(index) - before;
        if (taken > 0) ++passesWithBytes;
        mostPerPass = std::max(mostPerPass, taken);
    }
    const Outcome o = StateOf(index);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.detail, -1);
    EXPECT_EQ(HttpGetRequestReceived(index), (int)body.size());
    EXPECT_LE(mostPerPass, kHttpBodyBytesPerPass);
    EXPECT_GE(passesWithBytes, (int)(body.size() / kHttpBodyBytesPerPass));
    EXPECT_EQ(HttpEndRequest(index), 0);
    server.join();
    const std::string file = FileBody();
    EXPECT_EQ(file.size(), body.size());
    EXPECT_TRUE(file == body) << "the file differs from the body";
}

// Memory mode holds only what came: a length above the cap fails at once with its line, a large length that
// the server never delivers commits only the first block, and a body that does arrive grows into one block of
// its length.
TEST_F(HttpTest, MemoryBodiesHoldOnlyWhatArrives) {
    std::string full(300000, '\0');
    for (size_t i = 0; i < full.size(); ++i) full[i] = (char)(i * 13 + (i >> 9));
    const struct {
        const char* name;
        std::string answer;
        ServerEnd end;
        int result, detail, contentLength;
        int mostHeld;  // tracked bytes the request may hold at any time, beyond the start
        const char* logPart;
    } cases[] = {
        {"2 GB length", "HTTP/1.0 200 OK\r\nContent-Length: 2000000000\r\n\r\nabc", ServerEnd::kKeepOpen, 2, 2,
         2000000000, 64 << 10, "HTTP の応答 2000000000 byte はメモリに受け取れる大きさ 67108864 byte を超えています"},
        {"60 MB length, 100 bytes, then close",
         "HTTP/1.0 200 OK\r\nContent-Length: 60000000\r\n\r\n" + std::string(100, 'b'), ServerEnd::kClose, 2, 3,
         60000000, 256 << 10, nullptr},
        {"300000 bytes in full", "HTTP/1.0 200 OK\r\nContent-Length: 300000\r\n\r\n" + full, ServerEnd::kClose, 0,
         -1, 300000, 1 << 20, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetLog();
        ScriptedServer server(c.answer, c.end);
        void* body = nullptr;
        const int memoryBefore = GetTrackedAllocTotalSize();
        const int index = Create(kHttpGet, server.port(), "/m", &body);
        ASSERT_GE(index, 0);
        int mostHeld = 0;
        const DWORD start = GetTickCount();
        while (StateOf(index).result == -1 && GetTickCount() - start < 8000) {
            PumpNetworkMessages(1);
            ServiceHttpRequests();
            mostHeld = std::max(mostHeld, GetTrackedAllocTotalSize() - memoryBefore);
            Sleep(1);
        }
        const Outcome o = StateOf(index);
        EXPECT_EQ(o.result, c.result);
        EXPECT_EQ(o.detail, c.detail);
        EXPECT_EQ(o.contentLength, c.contentLength);
        EXPECT_LE(mostHeld, c.mostHeld);
        if (c.result == 0) {
            ASSERT_NE(body, nullptr);
            EXPECT_EQ(TrackedHeaderOf(body)->f.size, (uint32_t)full.size()) << "the block is the body's length";
            EXPECT_TRUE(std::string(static_cast<char*>(body), full.size()) == full);
        } else {
            EXPECT_EQ(body, nullptr);
        }
        TrackedFree(body);
        EXPECT_EQ(HttpEndRequest(index), 0);
        server.join();
        if (c.logPart) {
            EXPECT_EQ(CountOf(ReadLog(), c.logPart), 1);
        }
    }
}

// A server that takes the request and never answers: every pass of the service comes back while it says nothing,
// and the request runs until it is ended.
TEST_F(HttpTest, SilentServerRunsUntilTheRequestIsEnded) {
    ScriptedServer server("", ServerEnd::kNeverAnswer);
    void* body = nullptr;
    const int index = Create(kHttpGet, server.port(), "/", &body);
    ASSERT_GE(index, 0);
    ASSERT_TRUE(PumpUntil([&] { return server.requestRead(); }, 20000)) << "the request never reached the server";
    // The server now holds the connection until the client closes it (or it gives up after 20 s). A pass that
    // waited for the answer would come back only once the server had closed, with the request failed.
    constexpr int kPasses = 50;
    int passes = 0;
    while (passes < kPasses && StateOf(index).result == -1) {
        PumpNetworkMessages(1);
        ServiceHttpRequests();
        ++passes;
        Sleep(1);
    }
    const Outcome o = StateOf(index);
    EXPECT_EQ(o.result, -1) << "ended after " << passes << " passes (detail " << o.detail << ")";
    EXPECT_EQ(o.detail, -1);
    EXPECT_EQ(o.contentLength, -1);
    EXPECT_EQ(HttpGetRequestReceived(index), 0);
    EXPECT_EQ(passes, kPasses);
    EXPECT_EQ(HttpEndRequest(index), 0);
    EXPECT_EQ(HttpGetRequestState(index, nullptr, nullptr, nullptr), -1);
    EXPECT_TRUE(PumpUntil([&] { return server.done(); })) << "the connection was not closed";
}

// Both state queries answer -1 once the connection's handle is gone; the request ends instead of waiting.
TEST_F(HttpTest, RequestWhoseConnectionHandleIsGoneFails) {
    ScriptedServer server("", ServerEnd::kNeverAnswer);
    void* body = nullptr;
    const int index = Create(kHttpGet, server.port(), "/", &body);
    ASSERT_GE(index, 0);
    PumpFor(50);
    ASSERT_EQ(Connections().size(), 1u);
    ASSERT_EQ(CloseNetWorkHandle(Connections().front()), 0);
    const Outcome o = RunToEnd(index, 2000);
    EXPECT_EQ(o.result, 2);
    EXPECT_EQ(o.detail, 3);
    EXPECT_EQ(HttpEndRequest(index), 0);
    EXPECT_TRUE(PumpUntil([&] { return server.done(); }));
}

TEST_F(HttpTest, FinishKeepsTheFirstResultAndShutdownFreesEverything) {
    ScriptedServer first("", ServerEnd::kNeverAnswer);
    ScriptedServer second("", ServerEnd::kNeverAnswer);
    void* body = nullptr;
    const int a = Create(kHttpGet, first.port(), "/", &body);
    const int b = Create(kHttpHead, second.port(), "/", nullptr);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(HttpFinishRequest(a, 2, 3), 0);
    EXPECT_EQ(HttpFinishRequest(a, 0, -1), 0);
    const Outcome o = StateOf(a);
    EXPECT_EQ(o.result, 2);
    EXPECT_EQ(o.detail, 3);

    EXPECT_EQ(HttpShutDown(), 0);
    EXPECT_EQ(HttpGetRequestState(a, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(HttpGetRequestState(b, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(HttpShutDown(), 0);
    EXPECT_TRUE(PumpUntil([&] { return first.done() && second.done(); }));
}

TEST_F(HttpTest, IndicesOutsideTheTableAndBadRequestsAreRefused) {
    for (int index : {-1, -100, kHttpRequestSlots, 1000}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(ServiceHttpRequest(index), -1);
        EXPECT_EQ(HttpGet(index), -1);
        EXPECT_EQ(HttpPost(index), -1);
        EXPECT_EQ(HttpHead(index), -1);
        EXPECT_EQ(HttpFinishRequest(index, 2, 0), -1);
        EXPECT_EQ(HttpEndRequest(index), -1);
        EXPECT_EQ(HttpFreeSlot(index), -1);
    }
    void* body = nullptr;
    EXPECT_EQ(Create(kHttpGet, 80, "/" + std::string(255, 'p'), &body), -1) << "a path that cannot be held";
    EXPECT_EQ(Create(3, 80, "/", &body), -1);
    EXPECT_NE(ReadLog().find("HTTP リクエストの指定が不正です"), std::string::npos);
}
