#include "test_http_server.h"

#include <httplib.h>
#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

httplib::Client ClientOf(const TestHttpServer& server, int readTimeoutSeconds = 5) {
  httplib::Client client("127.0.0.1", server.port());
  client.set_read_timeout(readTimeoutSeconds, 0);
  return client;
}

TEST(TestHttpServer, RecordsRequestsAndAnswersAsScripted) {
  TestHttpServer server;
  ScriptedReply reply;
  reply.body = "<movie/>";
  reply.headers = {{"Set-Cookie", "s=1"}};
  server.Answer("/a", reply);
  ScriptedReply once;
  once.status = 500;
  server.AnswerOnce("/a", once);

  auto client = ClientOf(server);
  auto first = client.Post("/a?x=1", httplib::Headers{{"X-Test", "yes"}}, std::string("k=v&\xE9", 5),
                           "application/x-www-form-urlencoded");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 500);
  auto second = client.Get("/a");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->status, 200);
  EXPECT_EQ(second->body, "<movie/>");
  EXPECT_EQ(second->get_header_value("Set-Cookie"), "s=1");
  auto unscripted = client.Get("/b");
  ASSERT_TRUE(unscripted);
  EXPECT_EQ(unscripted->status, 404);

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/a");
  EXPECT_EQ(requests[0].target, "/a?x=1");
  EXPECT_EQ(requests[0].body, std::string("k=v&\xE9", 5));
  EXPECT_EQ(requests[0].Header("x-test"), "yes");
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_FALSE(requests[0].HasHeader("REMOTE_ADDR"));
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(requests[2].path, "/b");
}

TEST(TestHttpServer, AResponderSeesTheRequest) {
  TestHttpServer server;
  server.Answer("/echo", [](const RecordedRequest& request) {
    ScriptedReply reply;
    reply.body = request.method + " " + request.body;
    return reply;
  });
  auto client = ClientOf(server);
  auto result = client.Post("/echo", "abc", "text/plain");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->body, "POST abc");
}

TEST(TestHttpServer, SendsInPiecesChunkedOrCutOff) {
  TestHttpServer server;
  const std::string body(100000, 'z');
  ScriptedReply pieces;
  pieces.body = body;
  pieces.pieceSize = 30000;
  pieces.pieceDelay = milliseconds(20);
  server.Answer("/pieces", pieces);
  ScriptedReply chunked = pieces;
  chunked.announceLength = false;
  server.Answer("/chunked", chunked);
  ScriptedReply cut;
  cut.body = body;
  cut.cutAfter = 1000;
  server.Answer("/cut", cut);

  auto client = ClientOf(server);
  auto whole = client.Get("/pieces");
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->body, body);
  EXPECT_EQ(whole->get_header_value("Content-Length"), "100000");
  auto unannounced = client.Get("/chunked");
  ASSERT_TRUE(unannounced);
  EXPECT_EQ(unannounced->body, body);
  EXPECT_FALSE(unannounced->has_header("Content-Length"));

  std::string received;
  auto broken = client.Get("/cut", [&](const char* data, size_t size) {
    received.append(data, size);
    return true;
  });
  EXPECT_FALSE(broken);
  EXPECT_EQ(received, body.substr(0, 1000));
}

TEST(TestHttpServer, GeneratesABodyTooLargeToHoldAndWaitsAfterTheHeaders) {
  TestHttpServer server;
  ScriptedReply huge;
  huge.generated = ScriptedReply::Generated{
      3ull << 30, [](uint64_t offset, size_t size) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (offset + i) % 26);
        return bytes;
      }};
  huge.bodyDelay = milliseconds(300);
  server.Answer("/huge", huge);

  auto client = ClientOf(server);
  const auto start = steady_clock::now();
  steady_clock::duration headersAfter{}, bodyAfter{};
  std::string length, received;
  auto result = client.Get(
      "/huge",
      [&](const httplib::Response& response) {
        headersAfter = steady_clock::now() - start;
        length = response.get_header_value("Content-Length");
        return true;
      },
      [&](const char* data, size_t size) {
        if (received.empty()) bodyAfter = steady_clock::now() - start;
        received.append(data, size);
        return received.size() < 100000;  // enough: the client hangs up
      });
  EXPECT_FALSE(result);
  EXPECT_EQ(length, "3221225472");
  ASSERT_GE(received.size(), 100000u);
  EXPECT_EQ(received.substr(0, 3), "abc");
  EXPECT_EQ(received[99999], static_cast<char>('a' + 99999 % 26));
  EXPECT_LT(headersAfter, milliseconds(250));
  EXPECT_GE(bodyAfter, milliseconds(300));
}

#ifdef _WIN32
// The bytes a plain socket receives for one GET, and whether the
// connection then ended with a reset rather than an orderly close.
struct RawReceipt {
  std::string bytes;
  bool reset = false;
};

RawReceipt RawGet(int port, const std::string& path) {
  RawReceipt receipt;
  SOCKET sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) return receipt;
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  send(sock, request.data(), static_cast<int>(request.size()), 0);
  char buffer[4096];
  for (;;) {
    const auto got = recv(sock, buffer, sizeof(buffer), 0);
    if (got > 0) {
      receipt.bytes.append(buffer, static_cast<size_t>(got));
      continue;
    }
    receipt.reset = got < 0 && WSAGetLastError() == WSAECONNRESET;
    closesocket(sock);
    return receipt;
  }
}

TEST(TestHttpServer, CutsAConnectionOffWithAResetOrAClose) {
  TestHttpServer server;
  ScriptedReply cut;
  cut.body = std::string(5000, 'z');
  cut.cutAfter = 1000;
  server.Answer("/closed", cut);
  cut.reset = true;
  server.Answer("/reset", cut);

  const RawReceipt closed = RawGet(server.port(), "/closed");
  EXPECT_FALSE(closed.reset);
  EXPECT_NE(closed.bytes.find("Content-Length: 5000"), std::string::npos);
  EXPECT_EQ(closed.bytes.substr(closed.bytes.size() - 1001), "\n" + std::string(1000, 'z'));

  const RawReceipt reset = RawGet(server.port(), "/reset");
  EXPECT_TRUE(reset.reset);
  EXPECT_EQ(reset.bytes.find(std::string(1001, 'z')), std::string::npos);
}
#endif

TEST(TestHttpServer, DelaysAnswersAndStopsWaitingWhenDestroyed) {
  const auto start = steady_clock::now();
  {
    TestHttpServer server;
    ScriptedReply slow;
    slow.delay = milliseconds(300);
    server.Answer("/slow", slow);
    ScriptedReply stalled;
    stalled.delay = milliseconds(60000);
    server.Answer("/stalled", stalled);

    auto client = ClientOf(server);
    const auto before = steady_clock::now();
    ASSERT_TRUE(client.Get("/slow"));
    EXPECT_GE(steady_clock::now() - before, milliseconds(300));

    auto impatient = ClientOf(server, 1);
    EXPECT_FALSE(impatient.Get("/stalled"));
  }
  EXPECT_LT(steady_clock::now() - start, milliseconds(20000));
}

TEST(TestHttpServer, ListensOnAGivenPort) {
  int port = 0;
  {
    TestHttpServer any;
    port = any.port();
  }
  TestHttpServer fixed(port);
  EXPECT_EQ(fixed.port(), port);
  EXPECT_EQ(fixed.BaseUrl(), "http://127.0.0.1:" + std::to_string(port));
  EXPECT_THROW(TestHttpServer{port}, std::runtime_error);
}

}  // namespace
