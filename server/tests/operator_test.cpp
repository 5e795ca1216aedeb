// The operator's commands: imports, listing, removal, and refusals that
// leave the library as it was.
#include <gtest/gtest.h>

#include <sstream>

#include "operator_commands.h"
#include "file_fingerprint.h"
#include "sample_library.h"
#include "store_backends.h"
#include "subtitle_store.h"
#include "temp_folder.h"
#include "video_fingerprint.h"

namespace {

struct Outcome {
  int code;
  std::string out, err;
};

Outcome Command(std::vector<std::string> arguments) {
  std::ostringstream out, err;
  const int code = RunSubtitleServer(arguments, out, err);
  return {code, out.str(), err.str()};
}

// The commands on each storage backend, each time on a new database.
class OperatorTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_BACKEND(GetParam());
    database = NewDatabase(GetParam(), folder.path());
    poster = folder.Write("poster.jpg", MakePosterJpeg()).string();
    video = folder.Write("Mi Película.mkv", SampleVideoBytes(1)).string();
    subtitle = folder.Write("mi pelicula.es.srt", "1\r\n00:00:01,000 --> 00:00:02,000\r\nHola\r\n").string();
  }
  Outcome AddFilm(const std::string& name = "Mi Película", const std::string& number = "7") {
    return Command({"add-film", "--database", database, "--name", name, "--number", number, "--poster", poster});
  }
  Outcome AddSubtitle(const std::string& film = "7", const std::string& file = "") {
    return Command({"add-subtitle", "--database", database, "--video", video, "--language", "42",
                "--film", film, "--name", "Español (mío)", "--file", file.empty() ? subtitle : file,
                "--date", "2024-05-06"});
  }
  std::string Listing() { return Command({"list", "--database", database}).out; }

  TempFolder folder;
  std::string database, poster, video, subtitle;
};

INSTANTIATE_TEST_SUITE_P(Backends, OperatorTest, ::testing::ValuesIn(kBackends), BackendName);

TEST_P(OperatorTest, AddedFilmAndSubtitleAreFoundByTheVideosFingerprint) {
  ASSERT_EQ(AddFilm().code, 0);
  const Outcome added = AddSubtitle();
  ASSERT_EQ(added.code, 0) << added.err;
  const uint64_t fingerprint = FingerprintOfFile(video);
  EXPECT_NE(added.out.find(FormatFingerprintText(fingerprint)), std::string::npos);

  auto store = OpenStore(database);
  const auto found = store->ListSubtitles(fingerprint, 42);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "Español (mío)");
  EXPECT_EQ(found[0].fileName, "mi pelicula.es.srt");
  EXPECT_EQ(found[0].date, "2024-05-06");
  EXPECT_EQ(found[0].uses, 0);
  EXPECT_EQ(store->FindFilmByFingerprint(fingerprint)->name, "Mi Película");
  EXPECT_EQ(store->Poster(7), MakePosterJpeg());
  const auto files = store->TakeSubtitleFiles({found[0].id}, std::nullopt);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].bytes, "1\r\n00:00:01,000 --> 00:00:02,000\r\nHola\r\n");

  const std::string listing = Listing();
  EXPECT_NE(listing.find("film 7\tMi Película"), std::string::npos) << listing;
  EXPECT_NE(listing.find("subtitle " + std::to_string(found[0].id)), std::string::npos);

  const Outcome removed = Command({"remove-subtitle", "--database", database, "--id", std::to_string(found[0].id)});
  EXPECT_EQ(removed.code, 0);
  EXPECT_TRUE(store->ListSubtitles(fingerprint, 42).empty());
  const Outcome again = Command({"remove-subtitle", "--database", database, "--id", std::to_string(found[0].id)});
  EXPECT_EQ(again.code, 2);
  EXPECT_NE(again.err.find("no subtitle"), std::string::npos);
}

TEST_P(OperatorTest, NamesAreStoredAsGivenThroughBoundParameters) {
  const std::string name = "O'Brien \"x\"; DROP TABLE films; --";
  ASSERT_EQ(AddFilm(name).code, 0);
  EXPECT_EQ(OpenStore(database)->FindFilm(7)->name, name);
}

TEST_P(OperatorTest, BadInputIsRefusedAndNothingIsWritten) {
  ASSERT_EQ(AddFilm().code, 0);
  ASSERT_EQ(AddSubtitle().code, 0);
  const std::string before = Listing();
  const std::string notJpeg = folder.Write("poster.png", "\x89PNG\r\n").string();
  const std::string empty = folder.Write("empty.srt", "").string();
  struct Case {
    std::vector<std::string> arguments;
    int code;
    std::string says;
  };
  const Case cases[] = {
      {{"add-film", "--database", database, "--name", "Otra", "--number", "7", "--poster", poster}, 1, "exists"},
      {{"add-film", "--database", database, "--name", "Otra", "--number", "x", "--poster", poster}, 2, "--number"},
      {{"add-film", "--database", database, "--name", "Otra", "--number", "2147483648", "--poster", poster}, 2, "--number"},
      {{"add-film", "--database", database, "--name", "Otra", "--number", "8", "--poster", notJpeg}, 2, "JPEG"},
      {{"add-film", "--database", database, "--name", "Otra", "--number", "8", "--poster", "/no/such.jpg"}, 2, "no poster"},
      {{"add-film", "--database", database, "--name", "日本", "--number", "8", "--poster", poster}, 2, "Windows-1252"},
      {{"add-film", "--database", database, "--name", "", "--number", "8", "--poster", poster}, 2, "--name"},
      {{"add-film", "--database", database, "--number", "8", "--poster", poster}, 2, "--name is missing"},
      {{"add-film", "--database", database, "--nmae", "Otra"}, 2, "unknown option"},
      {{"add-film", "--database"}, 2, "needs a value"},
      {{"add-subtitle", "--database", database, "--video", video, "--language", "42", "--film", "9",
        "--name", "N", "--file", subtitle}, 2, "no film 9"},
      {{"add-subtitle", "--database", database, "--video", "/no/video.avi", "--language", "42", "--film", "7",
        "--name", "N", "--file", subtitle}, 2, "no video file"},
      {{"add-subtitle", "--database", database, "--video", video, "--language", "42", "--film", "7",
        "--name", "N", "--file", empty}, 2, "empty"},
      {{"add-subtitle", "--database", database, "--video", video, "--language", "42", "--film", "7",
        "--name", "N", "--file", subtitle, "--date", "2024-13-01"}, 2, "--date"},
      {{"remove-subtitle", "--database", database, "--id", "0"}, 2, "--id"},
      {{"frobnicate"}, 2, "unknown command"},
      {{}, 2, "add-subtitle"},
  };
  std::vector<Case> all(std::begin(cases), std::end(cases));
  // A library that is not there: a SQLite file is not made by listing it; a
  // PostgreSQL database is never made by the store.
  if (GetParam() == Backend::kSqlite) {
    const std::string missing = (folder.path() / "missing.db").string();
    all.push_back({{"list", "--database", missing}, 2, "no database"});
  } else {
    const size_t name = database.find("@/") + 2;
    const std::string missing =
        database.substr(0, name) + "no_such_database" + database.substr(database.find('?'));
    all.push_back({{"list", "--database", missing}, 1, "cannot connect to the database"});
  }
  for (const Case& c : all) {
    const Outcome outcome = Command(c.arguments);
    EXPECT_EQ(outcome.code, c.code) << outcome.err;
    EXPECT_NE(outcome.err.find(c.says), std::string::npos) << outcome.err;
  }
  EXPECT_EQ(Listing(), before);
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "missing.db"));
}

TEST(OperatorCommands, EveryCommandExplainsItself) {
  for (const char* command : {"serve", "add-film", "add-subtitle", "list", "remove-subtitle"}) {
    const Outcome help = Command({command, "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.out.rfind(std::string("subtitle-server ") + command, 0), 0u) << help.out;
  }
  const Outcome general = Command({"--help"});
  EXPECT_EQ(general.code, 0);
  EXPECT_NE(general.out.find("postgresql://"), std::string::npos) << general.out;
}

}  // namespace
