#include "winhttp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "file_reply_sink.h"
#include "memory_reply_sink.h"
#include "temp_folder.h"
#include "test_http_server.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using Headers = std::vector<std::pair<std::string, std::string>>;

// Time limits short enough for a test to wait them out.
HttpClientSettings Quick(HttpClientSettings settings) {
  settings.timeouts = {2000, 2000, 2000, 1000};
  return settings;
}

// Records the work events in order, as text.
class EventLog : public HttpWorkEvents {
 public:
  std::vector<std::string> events;
  std::function<void(int64_t)> onWork;

  void WorkBegin(int64_t expected) override { events.push_back("begin " + std::to_string(expected)); }
  void Work(int64_t soFar) override {
    events.push_back("work " + std::to_string(soFar));
    if (onWork) onWork(soFar);
  }
  void WorkEnd() override { events.push_back("end"); }
};

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

class WinHttpClientTest : public ::testing::Test {
 protected:
  std::string Url(const std::string& target) const { return server.BaseUrl() + target; }
  ScriptedReply Reply(const std::string& body) const {
    ScriptedReply reply;
    reply.body = body;
    return reply;
  }

  TestHttpServer server;  // outlives the clients of each test
};

TEST_F(WinHttpClientTest, PostSendsExactlyTheseHeadersAndTheRawBody) {
  server.Answer("/webService/downloadManager/get_movie_by_hash.php", Reply("<movie/>"));
  WinHttpClient client(TrackClientSettings());
  client.SetContentType("application/x-www-form-urlencoded");
  // Base64 signs, a bare "&" and "<", an 8-bit byte and a zero byte travel
  // as they are.
  const char raw[] = "version=100&response=xml&hash=MDEy+/==&x=<a>\xE9\0z";
  const std::string body(raw, sizeof(raw) - 1);
  MemoryReplySink reply;
  client.Post(Url("/webService/downloadManager/get_movie_by_hash.php"), body, reply);

  EXPECT_EQ(reply.bytes(), "<movie/>");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/webService/downloadManager/get_movie_by_hash.php");
  EXPECT_EQ(requests[0].body, body);
  const Headers expected = {
      {"Accept", "text/html, */*"},
      {"Content-Length", std::to_string(body.size())},
      {"Content-Type", "application/x-www-form-urlencoded"},
      {"Host", server.HostAndPort()},
      {"User-Agent", "Mozilla/3.0 (compatible; Indy Library)"},
  };
  EXPECT_EQ(requests[0].headers, expected);
}

TEST_F(WinHttpClientTest, GetSendsTheQueryAndNoBodyHeaders) {
  server.Answer("/webService/downloadManager/get_version.php", Reply(""));
  WinHttpClient client(TrackClientSettings());
  client.SetContentType("application/x-www-form-urlencoded");  // kept for POSTs only
  MemoryReplySink reply;
  client.Get(Url("/webService/downloadManager/get_version.php?lang=es&ver=100"), reply);

  EXPECT_EQ(reply.bytes(), "");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/webService/downloadManager/get_version.php?lang=es&ver=100");
  const Headers expected = {
      {"Accept", "text/html, */*"},
      {"Host", server.HostAndPort()},
      {"User-Agent", "Mozilla/3.0 (compatible; Indy Library)"},
  };
  EXPECT_EQ(requests[0].headers, expected);
}

struct ClientCase {
  const char* name;
  HttpClientSettings settings;
  bool keepsCookies;
  bool followsRedirects;
};

const ClientCase kClients[] = {
    {"track", TrackClientSettings(), false, false},
    {"file", FileClientSettings(), true, true},
    {"poster", PosterClientSettings(), false, false},
};

// A POST's body must not wait behind its headers for the server's delayed
// acknowledgement, as it does on a connection kept from an earlier request.
TEST_F(WinHttpClientTest, EveryRequestGoesOnAConnectionOfItsOwn) {
  server.Answer("/a", Reply("a"));
  for (const auto& c : kClients) {
    SCOPED_TRACE(c.name);
    server.ClearRequests();
    WinHttpClient client(c.settings);
    MemoryReplySink first, second, third;
    client.Get(Url("/a"), first);
    client.Post(Url("/a"), "x=1", second);
    client.Post(Url("/a"), "x=2", third);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_NE(requests[0].remotePort, requests[1].remotePort);
    EXPECT_NE(requests[1].remotePort, requests[2].remotePort);
    EXPECT_NE(requests[0].remotePort, requests[2].remotePort);
  }
}

TEST_F(WinHttpClientTest, OnlyTheFileClientKeepsCookies) {
  ScriptedReply withCookie = Reply("first");
  withCookie.headers = {{"Set-Cookie", "session=abc123; Path=/"}};
  server.Answer("/first", withCookie);
  server.Answer("/second", Reply("second"));
  for (const auto& c : kClients) {
    SCOPED_TRACE(c.name);
    server.ClearRequests();
    WinHttpClient client(c.settings);
    MemoryReplySink first, second, third;
    client.Get(Url("/first"), first);
    client.Post(Url("/second"), "a=1", second);
    client.Get(Url("/second"), third);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_FALSE(requests[0].HasHeader("Cookie"));
    EXPECT_EQ(requests[1].Header("Cookie"), c.keepsCookies ? "session=abc123" : "");
    EXPECT_EQ(requests[2].Header("Cookie"), c.keepsCookies ? "session=abc123" : "");
    EXPECT_EQ(requests[2].HasHeader("Cookie"), c.keepsCookies);
  }
  // Cookies belong to the client that received them.
  server.ClearRequests();
  WinHttpClient fresh(FileClientSettings());
  MemoryReplySink reply;
  fresh.Get(Url("/second"), reply);
  EXPECT_FALSE(server.Requests().at(0).HasHeader("Cookie"));
}

TEST_F(WinHttpClientTest, OnlyTheFileClientFollowsRedirects) {
  ScriptedReply moved = Reply("moved");
  moved.status = 302;
  moved.headers = {{"Location", "/archive.zip"}};
  server.Answer("/get", moved);
  server.Answer("/archive.zip", Reply("PK archive"));
  for (const auto& c : kClients) {
    SCOPED_TRACE(c.name);
    server.ClearRequests();
    WinHttpClient client(c.settings);
    MemoryReplySink reply;
    if (c.followsRedirects) {
      client.Get(Url("/get"), reply);
      EXPECT_EQ(reply.bytes(), "PK archive");
      ASSERT_EQ(server.Requests().size(), 2u);
      EXPECT_EQ(server.Requests()[1].target, "/archive.zip");
      // A form POST sent on by a 302 fetches the new place.
      MemoryReplySink posted;
      client.Post(Url("/get"), "version=100", posted);
      EXPECT_EQ(posted.bytes(), "PK archive");
      ASSERT_EQ(server.Requests().size(), 4u);
      EXPECT_EQ(server.Requests()[3].method, "GET");
      EXPECT_EQ(server.Requests()[3].body, "");
    } else {
      EXPECT_THROW(client.Get(Url("/get"), reply), HttpFailure);
      EXPECT_EQ(reply.bytes(), "");
      EXPECT_EQ(server.Requests().size(), 1u);
    }
  }
}

TEST_F(WinHttpClientTest, TheFileClientSendsAPostOnAsTheStatusSays) {
  struct RedirectCase {
    int status;
    const char* method;
    const char* body;
  };
  const RedirectCase cases[] = {
      {301, "GET", ""}, {302, "GET", ""}, {303, "GET", ""},
      {307, "POST", "version=100"}, {308, "POST", "version=100"},
  };
  server.Answer("/archive.zip", Reply("PK archive"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    ScriptedReply moved = Reply("");
    moved.status = c.status;
    moved.headers = {{"Location", server.BaseUrl() + "/archive.zip"},
                     {"Set-Cookie", "seen=" + std::to_string(c.status) + "; Path=/"}};
    server.Answer("/files", moved);
    server.ClearRequests();
    WinHttpClient client(FileClientSettings());
    client.SetContentType("application/x-www-form-urlencoded");
    MemoryReplySink reply;
    client.Post(Url("/files"), "version=100", reply);
    EXPECT_EQ(reply.bytes(), "PK archive");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].method, c.method);
    EXPECT_EQ(requests[1].body, c.body);
    // A cookie set by the redirect itself goes along to the new place.
    EXPECT_EQ(requests[1].Header("Cookie"), "seen=" + std::to_string(c.status));
  }

  ScriptedReply loop = Reply("");
  loop.status = 302;
  loop.headers = {{"Location", "/loop"}};
  server.Answer("/loop", loop);
  server.ClearRequests();
  WinHttpClient client(FileClientSettings());
  MemoryReplySink reply;
  EXPECT_THROW(client.Get(Url("/loop"), reply), HttpFailure);
  EXPECT_EQ(server.Requests().size(), 11u);
}

TEST_F(WinHttpClientTest, ErrorStatusesRaiseAndWriteNothing) {
  const int statuses[] = {400, 401, 403, 404, 500, 503, 301, 302, 304};
  for (int status : statuses) {
    SCOPED_TRACE(status);
    ScriptedReply reply = Reply("error page");
    reply.status = status;
    server.Answer("/status", reply);
    WinHttpClient client(TrackClientSettings());
    EventLog log;
    client.SetWorkEvents(&log);
    MemoryReplySink sink;
    EXPECT_THROW(client.Post(Url("/status"), "a=1", sink), HttpFailure);
    EXPECT_EQ(sink.bytes(), "");
    EXPECT_TRUE(log.events.empty());
  }
  // A redirect without a place to go is no success for the file client.
  ScriptedReply nowhere = Reply("");
  nowhere.status = 302;
  server.Answer("/nowhere", nowhere);
  WinHttpClient file(FileClientSettings());
  MemoryReplySink sink;
  EXPECT_THROW(file.Get(Url("/nowhere"), sink), HttpFailure);
}

TEST_F(WinHttpClientTest, ARefusedConnectionOrABadAddressRaises) {
  int closedPort = 0;
  {
    TestHttpServer gone;
    closedPort = gone.port();
  }
  WinHttpClient client(Quick(TrackClientSettings()));
  MemoryReplySink sink;
  const auto start = steady_clock::now();
  EXPECT_THROW(client.Post("http://127.0.0.1:" + std::to_string(closedPort) + "/x", "a=1", sink),
               HttpFailure);
  EXPECT_LT(steady_clock::now() - start, milliseconds(5000));
  EXPECT_THROW(client.Get("https://127.0.0.1/x", sink), HttpFailure);
  EXPECT_THROW(client.Get("not an address", sink), HttpFailure);
}

TEST_F(WinHttpClientTest, WorkEventsArriveInOrderWithTheAnnouncedSize) {
  ScriptedReply reply = Reply(Pattern(200000));
  reply.pieceSize = 50000;
  reply.pieceDelay = milliseconds(30);
  server.Answer("/announced", reply);
  reply.announceLength = false;
  server.Answer("/unannounced", reply);

  for (const char* path : {"/announced", "/unannounced"}) {
    SCOPED_TRACE(path);
    WinHttpClient client(FileClientSettings());
    EventLog log;
    client.SetWorkEvents(&log);
    MemoryReplySink sink;
    client.Post(Url(path), "a=1", sink);
    EXPECT_EQ(sink.bytes(), Pattern(200000));
    ASSERT_GE(log.events.size(), 3u);
    EXPECT_EQ(log.events.front(), std::string(path) == "/announced" ? "begin 200000" : "begin 0");
    EXPECT_EQ(log.events[log.events.size() - 2], "work 200000");
    EXPECT_EQ(log.events.back(), "end");
    // Several work events, each with more bytes than the one before.
    int64_t last = 0;
    for (size_t i = 1; i + 1 < log.events.size(); ++i) {
      ASSERT_EQ(log.events[i].rfind("work ", 0), 0u) << log.events[i];
      const int64_t soFar = std::stoll(log.events[i].substr(5));
      EXPECT_GT(soFar, last);
      last = soFar;
    }
    // The reply is larger than one read: it cannot come as one piece.
    EXPECT_GE(log.events.size(), 4u);
  }
}

TEST_F(WinHttpClientTest, ADownloadStreamsIntoItsFile) {
  const std::string archive = Pattern(300000);
  ScriptedReply reply = Reply(archive);
  reply.contentType = "application/zip";
  reply.pieceSize = 60000;
  reply.pieceDelay = milliseconds(30);
  server.Answer("/webService/downloadManager/get_subtitle_files.php", reply);

  TempFolder folder;
  const std::wstring path = (folder.path() / "subtitles.zip").wstring();
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
  WinHttpClient client(FileClientSettings());
  EventLog log;
  // The bytes reach the file as they arrive, not once the reply is whole.
  std::vector<int64_t> sizesOnDisk;
  log.onWork = [&](int64_t) {
    LARGE_INTEGER size = {};
    GetFileSizeEx(file.get(), &size);
    sizesOnDisk.push_back(size.QuadPart);
  };
  client.SetWorkEvents(&log);
  FileReplySink sink(file);
  client.Post(Url("/webService/downloadManager/get_subtitle_files.php"), "version=100", sink);
  file.reset();

  ASSERT_FALSE(sizesOnDisk.empty());
  EXPECT_LT(sizesOnDisk.front(), static_cast<int64_t>(archive.size()));
  EXPECT_GT(sizesOnDisk.front(), 0);
  EXPECT_EQ(sizesOnDisk.back(), static_cast<int64_t>(archive.size()));
  std::ifstream in(folder.path() / "subtitles.zip", std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, archive);
}

TEST_F(WinHttpClientTest, AReplyCutOffMidBodyRaises) {
  ScriptedReply reply = Reply(Pattern(100000));
  reply.cutAfter = 30000;
  server.Answer("/cut", reply);
  WinHttpClient client(Quick(FileClientSettings()));
  EventLog log;
  client.SetWorkEvents(&log);
  MemoryReplySink sink;
  EXPECT_THROW(client.Get(Url("/cut"), sink), HttpFailure);
  EXPECT_LE(sink.bytes().size(), 30000u);
  ASSERT_FALSE(log.events.empty());
  EXPECT_EQ(log.events.front(), "begin 100000");
  EXPECT_EQ(log.events.back(), "end");
}

// A server that accepts the connection and then never answers, before the
// headers or in the middle of the body: the exchange fails once the receive
// limit passes instead of waiting for ever.
TEST_F(WinHttpClientTest, AStalledServerEndsInFailure) {
  ScriptedReply silent = Reply("late");
  silent.delay = milliseconds(60000);
  server.Answer("/silent", silent);
  ScriptedReply stalls = Reply(Pattern(100000));
  stalls.pieceSize = 10000;
  stalls.pieceDelay = milliseconds(60000);
  server.Answer("/stalls", stalls);

  for (const char* path : {"/silent", "/stalls"}) {
    SCOPED_TRACE(path);
    WinHttpClient client(Quick(FileClientSettings()));
    MemoryReplySink sink;
    const auto start = steady_clock::now();
    EXPECT_THROW(client.Post(Url(path), "a=1", sink), HttpFailure);
    const auto waited = steady_clock::now() - start;
    EXPECT_GE(waited, milliseconds(900));
    EXPECT_LT(waited, milliseconds(10000));
  }
}

TEST_F(WinHttpClientTest, CancelFromAWorkEventStopsTheTransfer) {
  ScriptedReply reply = Reply(Pattern(200000));
  reply.pieceSize = 20000;
  reply.pieceDelay = milliseconds(20);
  server.Answer("/big", reply);
  server.Answer("/small", Reply("small"));

  WinHttpClient client(FileClientSettings());
  EventLog log;
  log.onWork = [&](int64_t) { client.Cancel(); };
  client.SetWorkEvents(&log);
  MemoryReplySink sink;
  EXPECT_THROW(client.Get(Url("/big"), sink), HttpFailure);
  EXPECT_EQ(log.events.size(), 3u);  // begin, one work, end
  EXPECT_EQ(log.events.back(), "end");
  EXPECT_LT(sink.bytes().size(), 200000u);

  // The cancel belonged to that transfer only.
  log.onWork = nullptr;
  MemoryReplySink next;
  client.Get(Url("/small"), next);
  EXPECT_EQ(next.bytes(), "small");
}

TEST_F(WinHttpClientTest, ClosingTheFileMidDownloadStopsTheWrites) {
  ScriptedReply reply = Reply(Pattern(200000));
  reply.pieceSize = 20000;
  reply.pieceDelay = milliseconds(20);
  server.Answer("/big", reply);
  TempFolder folder;
  const std::wstring path = (folder.path() / "subtitles.zip").wstring();
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
  WinHttpClient client(FileClientSettings());
  EventLog log;
  log.onWork = [&](int64_t) { file.reset(); };  // the window's close handler
  client.SetWorkEvents(&log);
  FileReplySink sink(file);
  EXPECT_THROW(client.Get(Url("/big"), sink), ServiceFailure);
  EXPECT_EQ(log.events.back(), "end");
}

// Past the limit a reply fails: announced beyond it (one byte more, or
// 3 GiB), at once and before any byte or work event; unannounced (chunked),
// once the limit is reached.
TEST_F(WinHttpClientTest, AnXmlReplyLargerThanTheLimitFails) {
  const auto spaces = [](uint64_t, size_t size) { return std::string(size, ' '); };
  ScriptedReply over;
  over.generated = ScriptedReply::Generated{kMaxReplyBytes + 1, spaces};
  server.Answer("/over", over);
  ScriptedReply huge;
  huge.generated = ScriptedReply::Generated{3ull << 30, spaces};
  server.Answer("/huge", huge);
  ScriptedReply chunked = over;
  chunked.announceLength = false;
  chunked.pieceSize = 1024 * 1024;
  server.Answer("/chunked", chunked);

  for (const char* path : {"/over", "/huge", "/chunked"}) {
    SCOPED_TRACE(path);
    WinHttpClient client(TrackClientSettings());
    EventLog log;
    client.SetWorkEvents(&log);
    MemoryReplySink sink;
    const auto start = steady_clock::now();
    EXPECT_THROW(client.Post(Url(path), "a=1", sink), ServiceFailure);
    EXPECT_LT(steady_clock::now() - start, milliseconds(5000));
    if (std::string(path) == "/chunked") {
      EXPECT_EQ(sink.bytes().size(), kMaxReplyBytes);
    } else {
      EXPECT_TRUE(sink.bytes().empty());
      EXPECT_TRUE(log.events.empty());
    }
  }
}

// A body that comes slower than the pace, or stops after the headers, is
// given up once the pace's window passes, though bytes keep arriving and the
// receive limit never passes; a slow body that keeps the pace arrives whole.
TEST_F(WinHttpClientTest, ABodyThatTricklesIsGivenUp) {
  ScriptedReply trickle = Reply(Pattern(1000));
  trickle.pieceSize = 1;
  trickle.pieceDelay = milliseconds(100);
  server.Answer("/trickle", trickle);
  ScriptedReply silent = Reply(Pattern(1000));
  silent.bodyDelay = milliseconds(60000);
  server.Answer("/silent", silent);
  ScriptedReply steady = Reply(Pattern(600));
  steady.pieceSize = 150;
  steady.pieceDelay = milliseconds(300);
  server.Answer("/steady", steady);

  HttpClientSettings settings = FileClientSettings();
  settings.timeouts.paceWindowMs = 1000;
  settings.timeouts.paceBytes = 100;
  for (const char* path : {"/trickle", "/silent"}) {
    SCOPED_TRACE(path);
    WinHttpClient client(settings);
    EventLog log;
    client.SetWorkEvents(&log);
    MemoryReplySink sink;
    const auto start = steady_clock::now();
    EXPECT_THROW(client.Get(Url(path), sink), HttpFailure);
    const auto waited = steady_clock::now() - start;
    EXPECT_GE(waited, milliseconds(900));
    EXPECT_LT(waited, milliseconds(3000));
    EXPECT_LT(sink.bytes().size(), 100u);
    EXPECT_EQ(log.events.back(), "end");
  }
  WinHttpClient client(settings);
  MemoryReplySink sink;
  client.Get(Url("/steady"), sink);
  EXPECT_EQ(sink.bytes(), Pattern(600));
}

TEST_F(WinHttpClientTest, AWaitingRequestKeepsMessagesGoingAndACancelEndsItAtOnce) {
  // The server has accepted the connection and says nothing.
  ScriptedReply silent = Reply("late");
  silent.delay = milliseconds(20000);
  server.Answer("/silent", silent);

  WinHttpClient client(TrackClientSettings());
  int pumped = 0;
  int timerTicks = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, nullptr);
  steady_clock::time_point cancelledAt;
  client.SetMessagePump([&] {
    ++pumped;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_TIMER) ++timerTicks;
      DispatchMessageW(&message);
    }
    // The user closes the window once the request has waited a while.
    if (timerTicks == 10) {
      cancelledAt = steady_clock::now();
      client.Cancel();
    }
  });
  MemoryReplySink sink;
  EXPECT_THROW(client.Post(Url("/silent"), "a=1", sink), HttpFailure);
  const auto ended = steady_clock::now();
  KillTimer(nullptr, timer);
  EXPECT_GE(timerTicks, 10);  // messages ran all along the wait
  EXPECT_GE(pumped, 10);
  EXPECT_LT(ended - cancelledAt, milliseconds(100));
  EXPECT_TRUE(sink.bytes().empty());

  // The client serves its next request as usual.
  server.Answer("/small", Reply("small"));
  client.SetMessagePump(nullptr);
  MemoryReplySink next;
  client.Get(Url("/small"), next);
  EXPECT_EQ(next.bytes(), "small");
}

TEST_F(WinHttpClientTest, ABackgroundGetIsMadeAndNeverHoldsItsOwnerLong) {
  ScriptedReply silent = Reply("<html/>");
  silent.delay = milliseconds(20000);
  server.Answer("/webService/downloadManager/get_page.php", silent);
  const auto start = steady_clock::now();
  {
    WinHttpBackgroundGet page(PageClientSettings(),
                              Url("/webService/downloadManager/get_page.php?ver=100"));
    EXPECT_FALSE(page.Finished());
  }  // let go at once: the request still reaches the server
  EXPECT_LT(steady_clock::now() - start, milliseconds(1500));
  ASSERT_TRUE(server.WaitForRequests(1, milliseconds(2000)));
  EXPECT_EQ(server.Requests()[0].target, "/webService/downloadManager/get_page.php?ver=100");

  server.Answer("/page", Reply("<html/>"));
  WinHttpBackgroundGet page(PageClientSettings(), Url("/page"));
  for (int i = 0; i < 200 && !page.Finished(); ++i) Sleep(10);
  EXPECT_TRUE(page.Finished());
}

}  // namespace
