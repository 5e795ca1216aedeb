#include <chrono>

#include "reply_document.h"
#include "run_fixture.h"

namespace {

const char kFilesRequestStart[] = "version=100&response=multiple&imdb=";

std::string Record(const std::string& id, const std::string& name) {
  return "<subtitle><id>" + EncodeBase64(id) + "</id><name>" + EncodeBase64(name) +
         "</name><date>" + EncodeBase64("2013-05-01") + "</date></subtitle>";
}

std::string ListReply(const std::vector<std::string>& records) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><subtitles>";
  for (const auto& r : records) xml += r;
  return xml + "</subtitles>";
}

std::string MovieReply(const std::string& name, const std::string& idText) {
  return "<movie><name>" + EncodeBase64(name) + "</name><id>" + idText + "</id></movie>";
}

class ListModeTest : public RunTest {
 protected:
  // The service lists three subtitles and knows the film.
  void ScriptList() {
    track.replies.push_back(
        {ListReply({Record("1", "Uno"), Record("2", "Dos"), Record("3", "Tres")})});
    track.replies.push_back({MovieReply("Casablanca", EncodeBase64("1234"))});
    track.replies.push_back({""});  // version
    poster.replies.push_back({"\xFF\xD8 a poster"});
  }

  std::vector<std::string> TrackUrls() const {
    std::vector<std::string> urls;
    for (const auto& r : track.requests) urls.push_back(r.method + " " + r.url);
    return urls;
  }

  // The ids of the records the files request sends back.
  static std::vector<std::string> SentIds(const std::string& body) {
    const size_t at = body.find("&subtitles=");
    const auto document = LoadReplyDocument(body.substr(at + 11));
    const ReplyNode subtitles = FindChildElement(*document, "subtitles");
    std::vector<std::string> ids;
    for (size_t i = 0; i < ChildCount(subtitles); ++i) {
      ids.push_back(ReadReplyText(FindChildElement(ChildAt(subtitles, i), "id")));
    }
    return ids;
  }
};

TEST_F(ListModeTest, ShowsTheRowsAndTheFilmThenChecksTheVersion) {
  ScriptList();
  auto run = MakeRun(L"top");
  run->FormCreate();

  EXPECT_TRUE(view.shown);
  EXPECT_FALSE(run->Terminated());
  EXPECT_EQ(TrackUrls(), (std::vector<std::string>{
                             std::string("POST ") + kServiceBase + "get_subtitles_by_hash.php",
                             std::string("POST ") + kServiceBase + "get_movie_by_hash.php",
                             std::string("GET ") + kServiceBase + "get_version.php?lang=es&ver=100"}));
  EXPECT_EQ(track.requests[0].body,
            "version=100&response=xml&cod_language=42&hash=MDEyMzQ1Njc4OWFiY2RlZg==");
  EXPECT_EQ(track.requests[1].body, "version=100&response=xml&hash=MDEyMzQ1Njc4OWFiY2RlZg==");

  ASSERT_EQ(view.rows.size(), 3u);
  EXPECT_EQ(view.rows[0].caption, L"Uno");
  EXPECT_EQ(view.rows[2].caption, L"Tres");
  EXPECT_TRUE(view.rows[0].ticked && view.rows[0].bold);
  EXPECT_FALSE(view.rows[1].ticked || view.rows[1].bold || view.rows[2].ticked);

  EXPECT_EQ(view.movieName, L"Casablanca");
  EXPECT_EQ(view.Caption(), L"Subtítulos 1.0 - Casablanca");
  EXPECT_EQ(run->filmIdentifier(), "MTIzNA==");
  EXPECT_TRUE(view.posterCheckboxVisible);
  ASSERT_EQ(poster.requests.size(), 1u);
  EXPECT_EQ(poster.requests[0].url, kImageBase + "cover-1234-128-198.jpg");
  EXPECT_EQ(view.poster, "\xFF\xD8 a poster");
  EXPECT_TRUE(view.nextEnabled);
  EXPECT_TRUE(view.groupVisible);
  EXPECT_EQ(view.ActivePage(), kPageDefault);
  EXPECT_EQ(view.nextCaption, L"Siguiente");
}

TEST_F(ListModeTest, NextDownloadsTheTickedRowsPlacesThemAndShowsTheClosingPage) {
  ScriptList();
  ZipEntrySpec entry;
  entry.name = "tres.srt";
  entry.data = "3";
  file.replies.push_back({BuildZip({entry})});
  auto run = MakeRun(L"top");
  run->FormCreate();

  // The user unticks the first row, ticks the third and asks for the poster.
  view.rows[0].ticked = false;
  view.rows[2].ticked = true;
  view.posterTicked = true;
  run->ChckBxPosterClick();
  EXPECT_EQ(view.posterHint, L"true");

  std::vector<bool> nextVisibleDuringDownload;
  file.duringTransfer = [&] {
    nextVisibleDuringDownload.push_back(view.nextVisible);
    EXPECT_EQ(view.ActivePage(), kPageDownload);
  };
  run->BtnProximoClick();

  ASSERT_EQ(file.requests.size(), 1u);
  const std::string& body = file.requests[0].body;
  EXPECT_EQ(body.rfind(std::string(kFilesRequestStart) + "MTIzNA==&poster=true&subtitles=", 0), 0u)
      << body;
  EXPECT_EQ(SentIds(body), std::vector<std::string>{"3"});
  EXPECT_NE(body.find("\r\n"), std::string::npos);  // the XML goes as CR LF lines
  EXPECT_EQ(nextVisibleDuringDownload, std::vector<bool>{false});
  EXPECT_EQ(ReadFile(videos.path() / "La Pelicula.srt"), "3");

  EXPECT_EQ(view.ActivePage(), kPageFinish);
  EXPECT_EQ(view.closingPages,
            std::vector<std::string>{std::string(kServiceBase) + "get_page.php?ver=100"});
  EXPECT_EQ(view.Caption(), L"¡Obrigado por la confianza!");
  EXPECT_EQ(view.nextCaption, L"Terminar");
  EXPECT_TRUE(view.nextVisible);
  EXPECT_FALSE(view.posterCheckboxVisible);
  EXPECT_FALSE(run->Terminated());

  run->BtnProximoClick();
  EXPECT_TRUE(run->Terminated());
  EXPECT_EQ(view.closingPages.size(), 1u);
}

TEST_F(ListModeTest, AVeryLongListIsReadAndSentBackInOneWalk) {
  // 150,000 records (5.4 MB, within the reply limit). Walking the list from
  // its first record again for every row took minutes (seen with the reply
  // fuzzer: 40,000 records, 33 s); one walk takes a moment.
  const size_t count = 150000;
  std::vector<std::string> records = {Record("1", "Uno")};
  records.resize(count, "<s><id>Mg==</id><name>eA==</name></s>");
  track.replies.push_back({ListReply(records)});
  track.replies.push_back({MovieReply("Casablanca", EncodeBase64("1234"))});
  track.replies.push_back({""});  // version
  file.replies.push_back({""});
  const auto start = std::chrono::steady_clock::now();
  auto run = MakeRun(L"top");
  run->FormCreate();
  ASSERT_EQ(view.rows.size(), count);
  EXPECT_EQ(view.rows[count - 1].caption, L"x");
  run->BtnProximoClick();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(file.requests.size(), 1u);
  EXPECT_EQ(SentIds(file.requests[0].body), std::vector<std::string>{"1"});
  EXPECT_LT(seconds, 30.0);
}

TEST_F(ListModeTest, RowsLeftAsTheyCameSendOnlyTheFirstRecord) {
  ScriptList();
  file.replies.push_back({""});
  auto run = MakeRun(L"top");
  run->FormCreate();
  run->BtnProximoClick();
  ASSERT_EQ(file.requests.size(), 1u);
  EXPECT_EQ(file.requests[0].body.rfind(std::string(kFilesRequestStart) + "MTIzNA==&poster=false&", 0), 0u);
  EXPECT_EQ(SentIds(file.requests[0].body), std::vector<std::string>{"1"});
}

TEST_F(ListModeTest, AnEmptyOrBrokenListShowsNotFoundThenChecksTheVersion) {
  struct Case {
    const char* what;
    std::string reply;
    size_t rows;
  } cases[] = {
      {"no subtitle", ListReply({}), 0},
      {"another shape", "<subtitle><id>MQ==</id></subtitle>", 0},
      {"second record without name",
       ListReply({Record("1", "Uno"), "<subtitle><id>Mg==</id></subtitle>"}), 1},
      {"not XML", "<subtitles>", 0},
  };
  for (const auto& c : cases) {
    view = FakeView();
    track = FakeHttpClient();
    track.replies.push_back({c.reply});
    track.replies.push_back({""});  // version
    auto run = MakeRun(L"top");
    run->FormCreate();
    EXPECT_EQ(view.rows.size(), c.rows) << c.what;
    ASSERT_EQ(view.messages.size(), 1u) << c.what;
    EXPECT_EQ(view.messages[0].text, kNotFoundText) << c.what;
    ASSERT_EQ(track.requests.size(), 2u) << c.what;  // no film lookup
    EXPECT_EQ(track.requests[1].method, "GET") << c.what;
    EXPECT_FALSE(view.groupVisible) << c.what;
    EXPECT_TRUE(run->Terminated()) << c.what;
  }
}

TEST_F(ListModeTest, RowCaptionsAreDecodedBase64InTheAnsiCodePage) {
  struct Case {
    std::string nameText;
    std::wstring caption;
  } cases[] = {
      {"SGVsbG8=", L"Hello"},
      {"SGVsbG8", L"Hello"},
      {"SGVs bG8=", L"Hel"},
      {EncodeBase64("\xE9"), L"\u00e9"},
      {"", L""},
  };
  for (const auto& c : cases) {
    view = FakeView();
    track = FakeHttpClient();
    track.replies.push_back({"<subtitles><s><name>" + c.nameText + "</name></s></subtitles>"});
    auto run = MakeRun(L"top");
    run->FormCreate();
    ASSERT_EQ(view.rows.size(), 1u) << c.nameText;
    EXPECT_EQ(view.rows[0].caption, c.caption) << c.nameText;
  }
}

TEST_F(ListModeTest, FilmLookupFailuresLeaveTheFilmUnidentifiedButTheRunGoesOn) {
  struct Case {
    const char* what;
    FakeReply reply;
    std::string posterUrl, identifier;
    bool identified;
  } cases[] = {
      {"leading zeros", {MovieReply("Casablanca", EncodeBase64("00042"))},
       "cover-42-128-198.jpg", EncodeBase64("00042"), true},
      {"no number", {MovieReply("Casablanca", EncodeBase64("abc"))}, "cover-0-128-198.jpg",
       EncodeBase64("abc"), true},
      {"no movie", {"<film/>"}, "cover-0-128-198.jpg", "", false},
      {"no id", {"<movie><name>QQ==</name></movie>"}, "cover-0-128-198.jpg", "", false},
      {"refused", {"", true}, "cover-0-128-198.jpg", "", false},
  };
  for (const auto& c : cases) {
    view = FakeView();
    track = FakeHttpClient();
    poster = FakeHttpClient();
    track.replies.push_back({ListReply({Record("1", "Uno")})});
    track.replies.push_back(c.reply);
    auto run = MakeRun(L"top");
    run->FormCreate();
    ASSERT_EQ(poster.requests.size(), 1u) << c.what;
    EXPECT_EQ(poster.requests[0].url, kImageBase + c.posterUrl) << c.what;
    EXPECT_EQ(run->filmIdentifier(), c.identifier) << c.what;
    EXPECT_EQ(view.posterCheckboxVisible, c.identified) << c.what;
    if (!c.identified) {
      EXPECT_EQ(view.movieName, L"El vídeo no fue identificado.") << c.what;
      EXPECT_EQ(view.Caption(), L"Subtítulos 1.0") << c.what;
    }
    EXPECT_TRUE(view.poster.empty()) << c.what;  // the poster request failed
    EXPECT_TRUE(view.nextEnabled && view.groupVisible) << c.what;
    EXPECT_FALSE(run->Terminated()) << c.what;
  }
}

TEST_F(ListModeTest, FailedDownloadStillPlacesWhatCameAndEndsAfterTheClosingPage) {
  ScriptList();
  file.replies.push_back({"cut", true});
  auto run = MakeRun(L"top");
  run->FormCreate();
  run->BtnProximoClick();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].title, L"Informação");
  EXPECT_EQ(view.ActivePage(), kPageFinish);
  EXPECT_TRUE(run->Terminated());
  EXPECT_FALSE(fs::exists(temp.path() / "subtitles.zip"));
}

TEST_F(ListModeTest, ClosingDuringTheDownloadShowsTheClosingPageAndNoError) {
  ScriptList();
  file.replies.push_back({BuildZip({})});
  auto run = MakeRun(L"top");
  run->FormCreate();
  file.duringTransfer = [&] { view.events()->FormClose(); };
  run->BtnProximoClick();
  EXPECT_TRUE(file.cancelled);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(view.ActivePage(), kPageFinish);
  EXPECT_EQ(view.closingPages.size(), 1u);
  EXPECT_TRUE(run->Terminated());
  EXPECT_FALSE(fs::exists(temp.path() / "subtitles.zip"));
}

TEST_F(ListModeTest, ClosingDuringAnyStartUpRequestEndsItAndNothingFollows) {
  // The close box acts during the first, second or third request of the
  // start-up: the list, the film or the version check.
  for (size_t closeAt = 0; closeAt < 3; ++closeAt) {
    view = FakeView();
    track = FakeHttpClient();
    poster = FakeHttpClient();
    ScriptList();
    track.replies.back().body = "http://127.0.0.1/new-version";
    track.duringTransfer = [&] {
      if (track.requests.size() == closeAt + 1) view.events()->FormClose();
    };
    auto run = MakeRun(L"top");
    run->FormCreate();
    EXPECT_TRUE(run->Terminated()) << closeAt;
    EXPECT_EQ(track.requests.size(), closeAt + 1) << closeAt;
    EXPECT_EQ(poster.requests.size(), closeAt == 2 ? 1u : 0u) << closeAt;  // before the version
    EXPECT_TRUE(view.messages.empty()) << closeAt;  // neither "not found" nor the update
    EXPECT_FALSE(view.shown) << closeAt;
    EXPECT_TRUE(platform.opened.empty()) << closeAt;
  }
}

TEST_F(ListModeTest, NextDoesNothingWhileTheUpdateQuestionIsUp) {
  ScriptList();
  track.replies.back().body = "http://127.0.0.1/new-version";
  view.onMessage = [&] {
    view.events()->BtnProximoClick();
    view.events()->FormClose();
    view.events()->ChckBxPosterClick();
  };
  auto run = MakeRun(L"top");
  run->FormCreate();
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].title, L"Actualización");
  EXPECT_EQ(view.messages[0].owner, MessageOwner::None);
  EXPECT_EQ(view.ActivePage(), kPageDefault);
  EXPECT_TRUE(file.requests.empty());  // nor kept for later
  EXPECT_FALSE(run->Terminated());     // answered No: the run goes on

  // Afterwards Next works as before.
  file.replies.push_back({BuildZip({})});
  run->BtnProximoClick();
  EXPECT_EQ(file.requests.size(), 1u);
  EXPECT_EQ(view.ActivePage(), kPageFinish);
}

TEST_F(ListModeTest, NextPressedDuringTheStartUpActsOnceTheStartUpIsDone) {
  ScriptList();
  file.replies.push_back({BuildZip({})});
  // A click on Next while the poster is fetched, before the version check.
  poster.duringTransfer = [&] {
    view.events()->BtnProximoClick();
    EXPECT_TRUE(file.requests.empty());  // not inside the start-up
  };
  auto run = MakeRun(L"top");
  run->FormCreate();
  ASSERT_EQ(track.requests.size(), 3u);  // the version check came first
  EXPECT_EQ(file.requests.size(), 1u);
  EXPECT_EQ(view.ActivePage(), kPageFinish);
}

}  // namespace
