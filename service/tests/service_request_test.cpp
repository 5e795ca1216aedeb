#include "service_request.h"

#include <gtest/gtest.h>

#include <vector>

#include "form_bodies.h"
#include "service_endpoints.h"
#include "service_hosts.h"

namespace {

// Records what the wizard asks of a client and answers with a fixed reply.
class RecordingClient : public HttpClient {
 public:
  struct Call {
    std::string method, url, contentType, body;
  };
  std::vector<Call> calls;
  std::string reply = "<movie/>";
  std::string contentType;

  void SetContentType(const std::string& type) override { contentType = type; }
  void SetWorkEvents(HttpWorkEvents*) override {}
  void Post(const std::string& url, const std::string& body, ReplySink& sink) override {
    calls.push_back({"POST", url, contentType, body});
    sink.Write(reply.data(), reply.size());
  }
  void Get(const std::string& url, ReplySink& sink) override {
    calls.push_back({"GET", url, contentType, ""});
    sink.Write(reply.data(), reply.size());
  }
  void Cancel() override {}
};

TEST(ServiceRequest, PostsTheBodyAsAnsiBytesToThePathOnTheServiceHost) {
  RecordingClient client;
  client.reply = "<movie><name>Q2FzYWJsYW5jYQ==</name></movie>";
  MemoryReplySink reply;
  SendServiceRequest(client, kSubtitleFilesPath,
                     MultipleFilesBody("", L"false", L"<s>caf\u00e9 \u20ac</s>\r\n"), reply);

  ASSERT_EQ(client.calls.size(), 1u);
  const auto& call = client.calls[0];
  EXPECT_EQ(call.method, "POST");
  EXPECT_EQ(call.url, std::string("http://") + kServiceHost +
                          "/webService/downloadManager/get_subtitle_files.php");
  EXPECT_EQ(call.contentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(call.body,
            "version=100&response=multiple&imdb=&poster=false&subtitles=<s>caf\xE9 \x80</s>\r\n");

  const ReplyDocumentRef document = LoadReplyDocument(reply);
  EXPECT_EQ(ReadReplyText(FindChildElement(FindChildElement(*document, "movie"), "name")),
            "Casablanca");
}

TEST(ServiceRequest, AddressesOfTheServiceAndImageHosts) {
  const std::string service = std::string("http://") + kServiceHost;
  EXPECT_EQ(ServiceUrl(kMovieByHashPath), service + "/webService/downloadManager/get_movie_by_hash.php");
  EXPECT_EQ(VersionCheckUrl(), service + "/webService/downloadManager/get_version.php?lang=es&ver=100");
  EXPECT_EQ(ClosingPageUrl(), service + "/webService/downloadManager/get_page.php?ver=100");
  const std::string image = std::string("http://") + kImageHost;
  EXPECT_EQ(PosterUrl(1234), image + "/cover-1234-128-198.jpg");
  EXPECT_EQ(PosterUrl(0), image + "/cover-0-128-198.jpg");
  EXPECT_EQ(PosterUrl(-5), image + "/cover--5-128-198.jpg");
}

TEST(MemoryReplySink, RefusesMoreThanItsLimit) {
  MemoryReplySink reply(10);
  reply.Write("0123456", 7);
  EXPECT_THROW(reply.Write("789A", 4), ServiceFailure);
  reply.Write("789", 3);
  EXPECT_EQ(reply.bytes(), "0123456789");
  EXPECT_THROW(reply.Write("x", 1), ServiceFailure);
  EXPECT_EQ(reply.bytes().size(), 10u);
}

TEST(MemoryReplySink, RefusesAReplyAnnouncedBeyondItsLimit) {
  MemoryReplySink small(10);
  small.Expect(0);
  small.Expect(10);
  EXPECT_THROW(small.Expect(11), ServiceFailure);
  MemoryReplySink reply;
  reply.Expect(kMaxReplyBytes);
  EXPECT_THROW(reply.Expect(kMaxReplyBytes + 1), ServiceFailure);
  EXPECT_THROW(reply.Expect(100ull << 20), ServiceFailure);
  EXPECT_TRUE(reply.bytes().empty());
}

TEST(MemoryReplySink, HoldsAWholeReplyUpToTheXmlLimit) {
  MemoryReplySink reply;
  const std::string piece(1024 * 1024, 'x');
  for (int i = 0; i < 16; ++i) reply.Write(piece.data(), piece.size());
  EXPECT_EQ(reply.bytes().size(), kMaxReplyBytes);
  EXPECT_THROW(reply.Write("x", 1), ServiceFailure);
}

}  // namespace
