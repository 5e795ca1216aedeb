// The service over loopback, read the way the wizard reads it.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <optional>
#include <thread>

#include "form_bodies.h"
#include "reply_document.h"
#include "service_endpoints.h"
#include "server_text.h"
#include "service_fixture.h"

namespace {

const std::string kSampleFilm = "Pel\xED" "cula de Muestra";  // as Windows-1252 bytes

ReplyDocumentRef PostXml(const ServiceFixture& fixture, const std::string& path,
                         const std::wstring& body) {
  const auto result = fixture.Post(path, body);
  if (!result || result->status != 200) throw std::runtime_error("request failed");
  return LoadReplyDocument(result->body);
}

// The ids, names and dates of a list reply, decoded.
struct Listed {
  std::string id, name, date;
};
std::vector<Listed> ListOf(const ReplyDocument& reply) {
  const ReplyNode list = FindChildElement(reply, "subtitles");
  std::vector<Listed> records;
  for (size_t i = 0; i < ChildCount(list); ++i) {
    const ReplyNode record = ChildAt(list, i);
    records.push_back({ReadReplyText(FindChildElement(record, "id")),
                       ReadReplyText(FindChildElement(record, "name")),
                       ReadReplyText(FindChildElement(record, "date"))});
  }
  return records;
}

int64_t UsesOf(SubtitleStore& store, int64_t id) {
  for (const auto& subtitle : store.AllSubtitles()) {
    if (subtitle.id == id) return subtitle.uses;
  }
  return -1;
}

// Every case runs on each storage backend, each time on a new database.
class ServiceTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_BACKEND(GetParam());
    fixture.emplace(GetParam());
  }
  std::optional<ServiceFixture> fixture;
};

INSTANTIATE_TEST_SUITE_P(Backends, ServiceTest, ::testing::ValuesIn(kBackends), BackendName);

TEST_P(ServiceTest, FilmLookupGivesNameAndNumberOrNothing) {
  for (int video = 0; video < 2; ++video) {
    const auto reply = PostXml(*fixture, kMovieByHashPath,
                               MovieLookupBody(fixture->EncodedFingerprint(video)));
    const ReplyNode movie = FindChildElement(*reply, "movie");
    EXPECT_EQ(ReadReplyText(FindChildElement(movie, "name")), kSampleFilm);
    EXPECT_EQ(ReadReplyText(FindChildElement(movie, "id")), "1001");
    EXPECT_EQ(ReadElementText(FindChildElement(movie, "id")), "MTAwMQ==");
  }
  const auto unknown =
      PostXml(*fixture, kMovieByHashPath, MovieLookupBody(EncodeBase64("0123456789abcdef")));
  EXPECT_FALSE(FindChildElement(FindChildElement(*unknown, "movie"), "name"));
}

TEST_P(ServiceTest, BestSubtitleIsTheMostUsedOfTheLanguage) {
  struct Case {
    int video;
    int32_t language;
    std::string id, date;
  };
  for (const Case& c : {Case{0, 42, "1", "2024-03-15"}, Case{1, 42, "5", "2024-04-01"},
                        Case{0, 6, "4", "2023-10-01"}}) {
    const auto reply = PostXml(*fixture, kBestSubtitleByHashPath,
                               BestSubtitleLookupBody(c.language, fixture->EncodedFingerprint(c.video)));
    const ReplyNode subtitle = FindChildElement(*reply, "subtitle");
    EXPECT_EQ(ReadReplyText(FindChildElement(subtitle, "id")), c.id);
    EXPECT_EQ(ReadReplyText(FindChildElement(subtitle, "date")), c.date);
  }
  // Nothing for the language or the video: a subtitle without id.
  for (const auto& body : {BestSubtitleLookupBody(7, fixture->EncodedFingerprint(0)),
                           BestSubtitleLookupBody(42, EncodeBase64("0123456789abcdef"))}) {
    const auto reply = PostXml(*fixture, kBestSubtitleByHashPath, body);
    EXPECT_FALSE(FindChildElement(FindChildElement(*reply, "subtitle"), "id"));
  }
}

TEST_P(ServiceTest, ListIsOrderedByUsesAndHoldsTenAtMost) {
  const auto reply = PostXml(*fixture, kSubtitlesByHashPath,
                             SubtitleListBody(42, fixture->EncodedFingerprint(0)));
  const auto records = ListOf(*reply);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].id, "1");
  EXPECT_EQ(records[1].id, "2");
  EXPECT_EQ(records[2].id, "3");
  EXPECT_EQ(records[0].name, "Pel\xED" "cula de Muestra 1 - Espa\xF1" "ol (revisado)");
  EXPECT_EQ(AnsiToText(records[2].name), L"Película de Muestra 1 - Español para sordos");
  EXPECT_EQ(records[1].date, "2024-02-02");

  // Twelve more, with uses 0 ... 11: the ten most used come, most used first.
  std::vector<StoredSubtitle> more;
  for (int uses = 0; uses < 12; ++uses) {
    StoredSubtitle s;
    s.fingerprint = 0x1234;
    s.language = 42;
    s.film = kSampleFilmNumber;
    s.name = "Extra " + std::to_string(uses);
    s.date = "2024-01-01";
    s.uses = uses;
    s.fileName = "extra.srt";
    s.bytes = "x";
    more.push_back(s);
  }
  fixture->store->AddLibrary({}, more);
  const auto many = ListOf(*PostXml(*fixture, kSubtitlesByHashPath,
                                    SubtitleListBody(42, EncodeBase64("0000000000001234"))));
  ASSERT_EQ(many.size(), kListedSubtitles);
  for (size_t i = 0; i < many.size(); ++i) EXPECT_EQ(many[i].name, "Extra " + std::to_string(11 - i));

  const auto none = PostXml(*fixture, kSubtitlesByHashPath,
                            SubtitleListBody(42, EncodeBase64("0123456789abcdef")));
  EXPECT_EQ(ChildCount(FindChildElement(*none, "subtitles")), 0u);
}

TEST_P(ServiceTest, SingleDownloadCarriesTheSubtitleAndCountsOneUse) {
  const auto result = fixture->Post(kSubtitleFilesPath, SingleFileBody(L"1", L"2024-03-15"));
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 200);
  EXPECT_EQ(result->get_header_value("Content-Type"), "application/zip");
  const auto entries = Unpack(result->body);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].first, "pelicula-muestra-1.es.srt");
  EXPECT_EQ(entries[0].second.rfind("1\r\n00:00:01,000 --> 00:00:03,500\r\n\xA1Hola!", 0), 0u);
  EXPECT_EQ(UsesOf(*fixture->store, 1), 13);

  // A wrong date, an unknown subtitle: 404 and no use counted.
  for (const auto& body : {SingleFileBody(L"1", L"2024-03-16"), SingleFileBody(L"99", L"2024-03-15")}) {
    const auto refused = fixture->Post(kSubtitleFilesPath, body);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 404);
  }
  EXPECT_EQ(UsesOf(*fixture->store, 1), 13);
}

TEST_P(ServiceTest, MultipleDownloadCarriesTheRecordsSentBackAndThePosterWhenAsked) {
  // The list reply as the wizard edits it: the second record taken out.
  const auto list = PostXml(*fixture, kSubtitlesByHashPath,
                            SubtitleListBody(42, fixture->EncodedFingerprint(0)));
  const ReplyNode subtitles = FindChildElement(*list, "subtitles");
  RemoveChild(subtitles, ChildAt(subtitles, 1));
  const std::wstring xml = SerializeReplyDocument(*list);

  struct Case {
    std::string imdb;
    std::wstring poster;
    std::vector<std::string> names;
  };
  const std::string poster = "cover-1001-128-198.jpg";
  for (const Case& c : {Case{"MTAwMQ==", L"true", {"pelicula-muestra-1.es.srt", "pelicula-muestra-1.sordos.srt", poster}},
                        Case{"MTAwMQ==", L"false", {"pelicula-muestra-1.es.srt", "pelicula-muestra-1.sordos.srt"}},
                        // Film not identified: the poster of the subtitles' film.
                        Case{"", L"true", {"pelicula-muestra-1.es.srt", "pelicula-muestra-1.sordos.srt", poster}}}) {
    const auto result = fixture->Post(kSubtitleFilesPath, MultipleFilesBody(c.imdb, c.poster, xml));
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 200);
    const auto entries = Unpack(result->body);
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.first);
    EXPECT_EQ(names, c.names);
    if (names.size() == 3) {
      EXPECT_EQ(entries[2].second, fixture->store->Poster(kSampleFilmNumber));
      EXPECT_EQ(entries[2].second.rfind("\xFF\xD8\xFF", 0), 0u);
    }
  }
  EXPECT_EQ(UsesOf(*fixture->store, 1), 12 + 3);
  EXPECT_EQ(UsesOf(*fixture->store, 2), 7);
  EXPECT_EQ(UsesOf(*fixture->store, 3), 3 + 3);

  // Every row unticked: an archive without entries, nothing counted.
  RemoveChild(subtitles, ChildAt(subtitles, 1));
  RemoveChild(subtitles, ChildAt(subtitles, 0));
  const auto empty = fixture->Post(kSubtitleFilesPath,
                                  MultipleFilesBody("MTAwMQ==", L"false", SerializeReplyDocument(*list)));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->status, 200);
  EXPECT_TRUE(Unpack(empty->body).empty());
  EXPECT_EQ(UsesOf(*fixture->store, 1), 15);
}

TEST_P(ServiceTest, EntryNamesAreSafeAndNeverRepeat) {
  StoredSubtitle s;
  s.fingerprint = 0x77;
  s.language = 42;
  s.film = kSampleFilmNumber;
  s.date = "2024-01-01";
  s.bytes = "x";
  std::vector<StoredSubtitle> stored;
  for (const char* name : {"../../evil.srt", "C:\\Windows\\evil.srt", "nul.srt", "a.url.srt"}) {
    s.name = name;
    s.fileName = name;  // as a store filled by other means might hold it
    stored.push_back(s);
  }
  fixture->store->AddLibrary({}, stored);
  const auto list = PostXml(*fixture, kSubtitlesByHashPath, SubtitleListBody(42, EncodeBase64("0000000000000077")));
  const auto result = fixture->Post(kSubtitleFilesPath,
                                   MultipleFilesBody("", L"false", SerializeReplyDocument(*list)));
  ASSERT_TRUE(result);
  std::vector<std::string> names;
  for (const auto& entry : Unpack(result->body)) names.push_back(entry.first);
  EXPECT_EQ(names, (std::vector<std::string>{"evil.srt", "evil (2).srt", "_nul.srt", "a_url.srt"}));
}

TEST(SafeEntryName, KeepsOnlyAPlainFileName) {
  const std::pair<std::string, std::string> cases[] = {
      {"pelicula.es.srt", "pelicula.es.srt"},
      {"sub/dir/x.srt", "x.srt"},
      {"..\\x.srt", "x.srt"},
      {"a<b>c:d\"e|f?g*h.srt", "a_b_c_d_e_f_g_h.srt"},
      {"tab\there.srt", "tab_here.srt"},
      {"x.srt. . ", "x.srt"},
      {"COM1.srt", "_COM1.srt"},
      {"con", "_con"},
      {"poster.JPG.srt", "poster_JPG.srt"},
      {"..", "subtitle.srt"},
      {"", "subtitle.srt"},
      {std::string(150, 'a') + ".srt", std::string(100, 'a')},
  };
  for (const auto& [name, safe] : cases) EXPECT_EQ(SafeEntryName(name), safe) << name;
}

TEST_P(ServiceTest, VersionPageAndPosters) {
  ServiceOptions options;
  options.versionReply = "http://127.0.0.1/nueva-version";
  ServiceFixture withVersion(GetParam(), options);
  for (const auto& [f, expected] : {std::pair<const ServiceFixture*, std::string>{&*fixture, ""},
                                    {&withVersion, "http://127.0.0.1/nueva-version"}}) {
    const auto version = f->Client()->Get("/webService/downloadManager/get_version.php?lang=es&ver=100");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->status, 200);
    EXPECT_EQ(version->body, expected);
  }
  const auto page = fixture->Client()->Get("/webService/downloadManager/get_page.php?ver=100");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("¡Obrigado por la confianza!"), std::string::npos);

  const auto poster = fixture->Client(true)->Get("/cover-1001-128-198.jpg");
  ASSERT_TRUE(poster);
  EXPECT_EQ(poster->status, 200);
  EXPECT_EQ(poster->get_header_value("Content-Type"), "image/jpeg");
  EXPECT_EQ(poster->body, fixture->store->Poster(kSampleFilmNumber));
  for (const char* missing : {"/cover-0-128-198.jpg", "/cover-1001-64-64.jpg", "/other"}) {
    const auto reply = fixture->Client(true)->Get(missing);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 404) << missing;
  }
}

TEST_P(ServiceTest, BadRequestsGetAClearAnswer) {
  const std::string hash = fixture->EncodedFingerprint(0);
  const std::string list = kSubtitlesByHashPath, files = kSubtitleFilesPath;
  struct Case {
    std::string path, body;
    int status;
  };
  const Case cases[] = {
      {list, "", 400},
      {list, "garbage", 400},
      {list, "version=100&response=xml&cod_language=42", 400},                  // no hash
      {list, "version=100&response=xml&cod_language=42&hash=!!!!", 400},        // not Base64
      {list, "version=100&response=xml&cod_language=42&hash=" + EncodeBase64("' OR 1=1 --"), 400},
      {list, "version=100&response=xml&cod_language=x&hash=" + hash, 400},
      {list, "version=100&response=xml&hash=" + hash, 400},                     // no language
      {kMovieByHashPath, "version=100&response=xml&hash=", 400},
      {files, "version=100&response=other", 400},
      {files, "version=100&response=single&cod_bsplayer=" + EncodeBase64("1 OR 1"), 400},
      {files, "version=100&response=single&cod_bsplayer=" + EncodeBase64("99999999999999999999") +
                  "&post_date=MjAyNC0wMy0xNQ==", 400},
      {files, "version=100&response=single&post_date=MjAyNC0wMy0xNQ==", 400},
      {files, "version=100&response=multiple&imdb=&poster=false&subtitles=<subtitles><oops>", 400},
      {files, "version=100&response=multiple&imdb=&poster=false&subtitles=<movie/>", 400},
      {files, "version=100&response=multiple&imdb=&poster=false", 400},
      {files, "version=100&response=multiple&imdb=&poster=false&subtitles=" + std::string(1 << 20, 'x'), 413},
      {"/webService/downloadManager/other.php", "version=100", 404},
  };
  for (const Case& c : cases) {
    const auto result = fixture->PostBytes(c.path, c.body);
    ASSERT_TRUE(result) << c.body.substr(0, 80);
    EXPECT_EQ(result->status, c.status) << c.path << " " << c.body.substr(0, 80);
    EXPECT_FALSE(result->body.empty());
  }
  const auto get = fixture->Client()->Get(kSubtitlesByHashPath);
  ASSERT_TRUE(get);
  EXPECT_EQ(get->status / 100, 4);
  // Still serving, nothing counted.
  EXPECT_EQ(ListOf(*PostXml(*fixture, list, SubtitleListBody(42, hash))).size(), 3u);
  EXPECT_EQ(UsesOf(*fixture->store, 1), 12);
}

TEST_P(ServiceTest, FiftyClientsAtOnceLoseNoRequestAndNoUse) {
  constexpr int kClients = 50, kRequestsEach = 40;
  const std::wstring listBody = SubtitleListBody(42, fixture->EncodedFingerprint(0));
  const std::wstring bestBody = BestSubtitleLookupBody(42, fixture->EncodedFingerprint(1));
  const std::wstring single1 = SingleFileBody(L"1", L"2024-03-15");
  const std::wstring single5 = SingleFileBody(L"5", L"2024-04-01");
  std::atomic<int> failed{0}, downloads1{0}, downloads5{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      auto client = fixture->Client();
      for (int r = 0; r < kRequestsEach; ++r) {
        const int kind = (c + r) % 4;
        const std::wstring& body = kind == 0 ? listBody : kind == 1 ? bestBody : kind == 2 ? single1 : single5;
        const char* path = kind == 0 ? kSubtitlesByHashPath
                           : kind == 1 ? kBestSubtitleByHashPath
                                       : kSubtitleFilesPath;
        const auto result = client->Post(path, TextToWindows1252(body), "application/x-www-form-urlencoded");
        if (!result || result->status != 200) {
          if (++failed <= 3) {
            ADD_FAILURE() << (result ? std::to_string(result->status) + " " + result->body
                                     : "transport: " + httplib::to_string(result.error()));
          }
          continue;
        }
        if (kind == 2) ++downloads1;
        if (kind == 3) ++downloads5;
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(downloads1 + downloads5, kClients * kRequestsEach / 2);
  EXPECT_EQ(UsesOf(*fixture->store, 1), 12 + downloads1);
  EXPECT_EQ(UsesOf(*fixture->store, 5), 9 + downloads5);
}

}  // namespace
