#include "archive_reply_sink.h"
#include "run_fixture.h"

namespace {

using DownloadManagerTest = RunTest;

TEST_F(DownloadManagerTest, UnknownModeEndsTheRunAfterTheStartUpSteps) {
  for (const std::wstring mode : {L"Top", L"MELHOR", L"list", L""}) {
    view = FakeView();
    auto run = MakeRun(mode);
    // Building the run turned the notebook from its design page to page 0.
    EXPECT_EQ(view.pageChanges, std::vector<int>{kPageDefault});
    EXPECT_EQ(view.nextCaption, L"Siguiente");
    EXPECT_TRUE(view.nextVisible);

    run->FormCreate();
    EXPECT_EQ(view.Caption(), L"A descargar el subtítulos...");
    EXPECT_EQ(view.movieName, L"");
    EXPECT_FALSE(view.nextEnabled);
    EXPECT_TRUE(run->Terminated());
    EXPECT_FALSE(view.shown);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(track.requests.empty() && file.requests.empty() && poster.requests.empty());
  }
  EXPECT_EQ(platform.fpuMasks, 4);
}

TEST_F(DownloadManagerTest, WorkingFolderIsTheTempFolderWhenAFileCanBeCreatedThere) {
  auto run = MakeRun(L"none");
  run->FormCreate();
  EXPECT_EQ(run->workingFolder(), platform.tempFolder);
  EXPECT_FALSE(fs::exists(temp.path() / "test.zip"));

  platform.tempFolder = WindowsPath(temp.path() / "missing") + L"\\";
  auto second = MakeRun(L"none");
  second->FormCreate();
  EXPECT_EQ(second->workingFolder(), WindowsPath(videos.path()) + L"\\");
}

TEST_F(DownloadManagerTest, BestSubtitleIsLookedUpDownloadedAndPlacedWithoutAWindow) {
  ScriptFoundSubtitle();
  fs::path stale = temp.path() / "subtitles.zip";
  temp.Write("subtitles.zip", "left by an earlier run");

  auto run = MakeRun(L"melhor");
  run->FormCreate();

  ASSERT_EQ(track.requests.size(), 2u);
  EXPECT_EQ(track.requests[0].method, "GET");
  EXPECT_EQ(track.requests[0].url, std::string(kServiceBase) + "get_version.php?lang=es&ver=100");
  EXPECT_EQ(track.requests[1].method, "POST");
  EXPECT_EQ(track.requests[1].url, std::string(kServiceBase) + "get_best_subtitle_by_hash.php");
  EXPECT_EQ(track.requests[1].contentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(track.requests[1].body,
            "version=100&response=xml&cod_language=42&hash=MDEyMzQ1Njc4OWFiY2RlZg==");
  ASSERT_EQ(file.requests.size(), 1u);
  EXPECT_EQ(file.requests[0].url, std::string(kServiceBase) + "get_subtitle_files.php");
  EXPECT_EQ(file.requests[0].contentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(file.requests[0].body,
            "version=100&response=single&cod_bsplayer=MTIzNDU=&post_date=MjAxMy0wNS0wMQ==");
  EXPECT_TRUE(poster.requests.empty());

  EXPECT_EQ(view.balloons, std::vector<std::wstring>{L"Subtítulos 1.0|A descargar mejor subtítulo..."});
  EXPECT_EQ(ReadFile(videos.path() / "La Pelicula.srt"), "1\n00:00:01,000 --> 00:00:02,000\nHola\n");
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_FALSE(fs::exists(temp.path() / "es.srt"));
  EXPECT_TRUE(view.messages.empty());
  EXPECT_FALSE(view.shown);
  EXPECT_TRUE(run->Terminated());
}

TEST_F(DownloadManagerTest, NothingFoundShowsTheNotFoundMessage) {
  struct Case {
    const char* what;
    std::vector<FakeReply> lookup;
  } cases[] = {
      {"list shape", {{""}, {"<subtitles><subtitle><id>MQ==</id></subtitle></subtitles>"}}},
      {"no date", {{""}, {"<subtitle><id>MTIzNDU=</id></subtitle>"}}},
      {"empty date", {{""}, {"<subtitle><id>MTIzNDU=</id><date></date></subtitle>"}}},
      {"not XML", {{""}, {"<subtitle>"}}},
      {"lookup fails", {{""}, {"", true}}},
      {"no service at all", {}},
  };
  for (const auto& c : cases) {
    view = FakeView();
    track = FakeHttpClient();
    file = FakeHttpClient();
    track.replies.assign(c.lookup.begin(), c.lookup.end());
    auto run = MakeRun(L"melhor");
    run->FormCreate();

    EXPECT_TRUE(file.requests.empty()) << c.what;
    EXPECT_TRUE(view.balloons.empty()) << c.what;
    ASSERT_EQ(view.messages.size(), 1u) << c.what;
    EXPECT_EQ(view.messages[0].text, kNotFoundText) << c.what;
    EXPECT_EQ(view.messages[0].title, L"Información") << c.what;
    EXPECT_EQ(view.messages[0].icon, MessageIcon::Exclamation) << c.what;
    EXPECT_EQ(view.messages[0].owner, MessageOwner::Window) << c.what;
    EXPECT_EQ(view.Caption(), kNotFoundText) << c.what;
    EXPECT_TRUE(run->Terminated()) << c.what;
    EXPECT_FALSE(fs::exists(temp.path() / "subtitles.zip")) << c.what;
  }
}

TEST_F(DownloadManagerTest, FailedDownloadShowsTheDownloadErrorThenNotFound) {
  track.replies.push_back({""});
  track.replies.push_back({BestSubtitleReply("12345", "2013-05-01")});
  file.replies.push_back({"partial", true});
  auto run = MakeRun(L"melhor");
  run->FormCreate();

  EXPECT_EQ(MessageTitles(), (std::vector<std::wstring>{L"Informação", L"Información"}));
  EXPECT_EQ(view.messages[0].text,
            L"Se ha producido un error al descargar el subtítulo. Por favor, inténtelo de nuevo.");
  EXPECT_EQ(view.messages[0].icon, MessageIcon::Error);
  EXPECT_FALSE(fs::exists(videos.path() / "La Pelicula.srt"));
  EXPECT_FALSE(fs::exists(temp.path() / "subtitles.zip"));  // the part received is gone
  EXPECT_TRUE(run->Terminated());
}

// A download is bounded where it is written: an archive of exactly the limit
// (a subtitle archive behind padding, which readers step over) is placed;
// one byte more fails the download before any of it reaches the file, and
// one announced larger (3 GiB) fails before any of it is received. A failed
// download leaves no archive behind.
TEST_F(DownloadManagerTest, ArchiveDownloadsAreBoundedBy64MiB) {
  ASSERT_EQ(kMaxArchiveBytes, 64u << 20);
  ZipEntrySpec subtitle;
  subtitle.name = "es.srt";
  subtitle.data = "Hola";
  const std::string zip = BuildZip({subtitle});
  const struct {
    uint64_t size, announced;
  } cases[] = {{kMaxArchiveBytes, 0}, {kMaxArchiveBytes + 1, 0}, {zip.size(), 3ull << 30}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    view = FakeView();
    track.replies = {{""}, {BestSubtitleReply("12345", "2013-05-01")}};
    std::string body(c.size - zip.size(), 'x');
    body += zip;
    file.replies.clear();
    file.replies.push_back({std::move(body), false, true, c.announced});
    fs::remove(videos.path() / "La Pelicula.srt");
    auto run = MakeRun(L"melhor");
    run->FormCreate();
    if (c.size == kMaxArchiveBytes) {
      EXPECT_TRUE(view.messages.empty());
      EXPECT_EQ(ReadFile(videos.path() / "La Pelicula.srt"), "Hola");
    } else {
      EXPECT_EQ(MessageTitles(), (std::vector<std::wstring>{L"Informação", L"Información"}));
      EXPECT_FALSE(fs::exists(videos.path() / "La Pelicula.srt"));
      EXPECT_FALSE(fs::exists(temp.path() / "subtitles.zip"));
    }
  }
}

// Delivered in parts, as the network does: the part that would pass the
// limit is refused whole and the stream keeps what came before it.
TEST(ArchiveReplySink, RefusesThePartThatPassesTheLimit) {
  struct CountingStream : ArchiveStream {
    bool Write(const char*, size_t size) override {
      written += size;
      return true;
    }
    void Close() override {}
    bool IsOpen() const override { return true; }
    uint64_t written = 0;
  };
  const std::string part(1u << 20, 'z');
  const struct {
    uint64_t before;  // bytes delivered first, in 1 MiB parts and a rest
    size_t last;
    bool refused;
  } cases[] = {
      {kMaxArchiveBytes - 1, 1, false},
      {kMaxArchiveBytes - 1, 2, true},
      {kMaxArchiveBytes, 1, true},
  };
  for (const auto& c : cases) {
    std::unique_ptr<ArchiveStream> stream = std::make_unique<CountingStream>();
    auto& counted = static_cast<CountingStream&>(*stream);
    ArchiveReplySink sink(stream);
    for (uint64_t left = c.before; left > 0;) {
      const size_t n = left < part.size() ? static_cast<size_t>(left) : part.size();
      sink.Write(part.data(), n);
      left -= n;
    }
    if (c.refused) {
      EXPECT_THROW(sink.Write(part.data(), c.last), HttpFailure) << c.before << "+" << c.last;
      EXPECT_EQ(counted.written, c.before);
    } else {
      sink.Write(part.data(), c.last);
      EXPECT_EQ(counted.written, c.before + c.last);
    }
  }
  // An announced length is judged before any byte comes.
  std::unique_ptr<ArchiveStream> stream = std::make_unique<CountingStream>();
  ArchiveReplySink sink(stream);
  sink.Expect(kMaxArchiveBytes);
  EXPECT_THROW(sink.Expect(kMaxArchiveBytes + 1), HttpFailure);
}

TEST_F(DownloadManagerTest, ArchiveThatIsNoZipPlacesNothingAndEndsQuietly) {
  track.replies.push_back({""});
  track.replies.push_back({BestSubtitleReply("12345", "2013-05-01")});
  file.replies.push_back({"this is no archive"});
  auto run = MakeRun(L"melhor");
  run->FormCreate();
  EXPECT_TRUE(view.messages.empty());
  EXPECT_FALSE(fs::exists(temp.path() / "subtitles.zip"));
  EXPECT_EQ(std::distance(fs::directory_iterator(videos.path()), fs::directory_iterator()), 1);
  EXPECT_TRUE(run->Terminated());
}

TEST_F(DownloadManagerTest, VersionCheckOffersOnlyWebAddresses) {
  struct Case {
    const char* reply;
    bool failing;
    std::deque<MessageAnswer> answers;
    bool asked, opened;
  } cases[] = {
      {"", false, {}, false, false},
      {"\n", false, {}, false, false},
      {"C:\\Windows\\notepad.exe", false, {}, false, false},
      {"\\\\server\\share\\setup.exe", false, {}, false, false},
      {"file:///C:/setup.exe", false, {}, false, false},
      {"http://example.test/new", true, {}, false, false},
      {"http://example.test/new", false, {MessageAnswer::No}, true, false},
      {"http://example.test/new", false, {MessageAnswer::Yes}, true, true},
  };
  for (const auto& c : cases) {
    view = FakeView();
    platform.opened.clear();
    platform.closedTitles.clear();
    track = FakeHttpClient();
    file = FakeHttpClient();
    ScriptFoundSubtitle();
    track.replies.front().fails = c.failing;
    track.replies.front().body = c.reply;
    view.answers = c.answers;
    auto run = MakeRun(L"melhor");
    run->FormCreate();

    const bool asked = !view.messages.empty() && view.messages[0].title == L"Actualización";
    EXPECT_EQ(asked, c.asked) << c.reply;
    if (asked) {
      EXPECT_EQ(view.messages[0].text,
                L"Nueva versión encontrada. Deseja actualizar para una nueva versión?");
      EXPECT_EQ(view.messages[0].buttons, MessageButtons::YesNo);
      EXPECT_EQ(view.messages[0].icon, MessageIcon::Question);
      EXPECT_EQ(view.messages[0].owner, MessageOwner::None);
    }
    EXPECT_EQ(platform.opened.size(), c.opened ? 1u : 0u) << c.reply;
    EXPECT_EQ(platform.closedTitles.size(), c.opened ? 1u : 0u) << c.reply;
    if (c.opened) {
      EXPECT_EQ(platform.opened[0], L"http://example.test/new");
      EXPECT_EQ(platform.closedTitles[0], L"Información");
    }
    // Whatever the answer, the best subtitle is still fetched and placed.
    EXPECT_EQ(file.requests.size(), 1u) << c.reply;
    EXPECT_TRUE(run->Terminated());
    fs::remove(videos.path() / "La Pelicula.srt");
  }
}

TEST_F(DownloadManagerTest, DownloadProgressDrivesTheBar) {
  ScriptFoundSubtitle();
  const size_t archiveSize = file.replies.front().body.size();
  std::vector<std::pair<uint32_t, uint32_t>> seen;
  file.duringTransfer = [&] { seen.emplace_back(view.progressMax, view.progressPosition); };
  view.progressPosition = 77;
  auto run = MakeRun(L"melhor");
  run->FormCreate();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, archiveSize);  // the announced size
  EXPECT_EQ(seen[0].second, 0u);
  EXPECT_EQ(view.progressPosition, archiveSize);
  EXPECT_GE(view.pumps, 6);  // every event of every client lets messages run
}

TEST_F(DownloadManagerTest, ClosingDuringTheDownloadStopsItAndEndsTheRunQuietly) {
  ScriptFoundSubtitle();
  auto run = MakeRun(L"melhor");
  file.duringTransfer = [&] { view.events()->FormClose(); };
  run->FormCreate();
  EXPECT_TRUE(file.cancelled);
  EXPECT_TRUE(view.messages.empty());
  EXPECT_FALSE(fs::exists(temp.path() / "subtitles.zip"));
  EXPECT_FALSE(fs::exists(videos.path() / "La Pelicula.srt"));
  EXPECT_TRUE(run->Terminated());
}

TEST_F(DownloadManagerTest, ClosingDuringTheStartUpEndsItsRequestAndAsksNothingMore) {
  ScriptFoundSubtitle("http://127.0.0.1/new-version");
  auto run = MakeRun(L"melhor");
  // The close box acts while the version check runs.
  view.onPump = [&] { view.events()->FormClose(); };
  run->FormCreate();
  EXPECT_TRUE(run->Terminated());
  EXPECT_TRUE(track.cancelled);
  // The rest of the start-up made no request and showed nothing.
  EXPECT_EQ(track.requests.size(), 1u);
  EXPECT_TRUE(file.requests.empty());
  EXPECT_TRUE(view.messages.empty());
  EXPECT_FALSE(fs::exists(videos.path() / "La Pelicula.srt"));
}

TEST_F(DownloadManagerTest, AReplyOfUnknownSizeTurnsTheBarToAMarquee) {
  ScriptFoundSubtitle();
  file.replies.front().sized = false;
  bool marqueeDuringTransfer = false;
  file.duringTransfer = [&] { marqueeDuringTransfer = view.marquee; };
  view.progressMax = 100;
  auto run = MakeRun(L"melhor");
  run->FormCreate();
  EXPECT_TRUE(marqueeDuringTransfer);
  EXPECT_EQ(view.progressPosition, 0u);  // no position without a range
  EXPECT_EQ(view.progressMax, 100u);

  // The next reply with a length has its range again.
  ScriptFoundSubtitle();
  auto second = MakeRun(L"melhor");
  second->FormCreate();
  EXPECT_FALSE(view.marquee);
  EXPECT_EQ(view.progressMax, view.progressPosition);
  EXPECT_GT(view.progressMax, 0u);
}

TEST_F(DownloadManagerTest, CloseAndNextFollowThePages) {
  auto run = MakeRun(L"none");
  run->FormCreate();
  // Closing on page 0 with no archive: nothing to delete, no page change.
  run->FormClose();
  EXPECT_EQ(view.pageChanges, std::vector<int>{kPageDefault});
  EXPECT_TRUE(run->Terminated());

  // Closing on the download page shows the finish page first.
  auto second = MakeRun(L"none");
  view.SelectPage(kPageDownload);
  EXPECT_FALSE(view.nextVisible);
  second->FormClose();
  EXPECT_EQ(view.ActivePage(), kPageFinish);
  EXPECT_TRUE(view.nextVisible);

  // Next on the last page ends the run without a page change.
  auto third = MakeRun(L"none");
  view.SelectPage(kPageFinish);
  const size_t changes = view.pageChanges.size();
  third->BtnProximoClick();
  EXPECT_EQ(view.pageChanges.size(), changes);
  EXPECT_TRUE(third->Terminated());
}

TEST_F(DownloadManagerTest, AnEndedRunHidesAndHandlesNoLaterEvent) {
  auto run = MakeRun(L"none");
  view.Show();
  view.SelectPage(kPageFinish);
  run->BtnProximoClick();  // "Terminar"
  ASSERT_TRUE(run->Terminated());
  EXPECT_FALSE(view.shown);
  EXPECT_EQ(view.hides, 1);

  // Later clicks and closes reach no handler: no page change, no hint.
  const size_t changes = view.pageChanges.size();
  view.SelectPage(kPageDownload);  // as if still on the download page
  view.posterTicked = true;
  run->FormClose();
  run->ChckBxPosterClick();
  run->BtnProximoClick();
  EXPECT_EQ(view.pageChanges.size(), changes + 1);
  EXPECT_EQ(view.ActivePage(), kPageDownload);
  EXPECT_EQ(view.posterHint, L"false");
  EXPECT_EQ(view.hides, 1);
}

}  // namespace
