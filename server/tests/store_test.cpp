// The store itself on each backend: schema versions taken in place, ids
// never given twice, counts that stay exact when callers race.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "schema_migrations.h"
#include "store_backends.h"
#include "subtitle_store.h"
#include "temp_folder.h"

namespace {

class StoreTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_BACKEND(GetParam());
    database = NewDatabase(GetParam(), folder.path());
  }
  const char* FirstSchema() const {
    const SchemaMigration& first = SchemaMigrations().front();
    return GetParam() == Backend::kSqlite ? first.sqlite : first.postgres;
  }

  TempFolder folder;
  std::string database;
};

INSTANTIATE_TEST_SUITE_P(Backends, StoreTest, ::testing::ValuesIn(kBackends), BackendName);

StoredSubtitle Subtitle(const std::string& name, int64_t uses, const std::string& bytes) {
  StoredSubtitle subtitle;
  subtitle.fingerprint = 0xfedcba9876543210ull;  // above the signed 64-bit range
  subtitle.language = 42;
  subtitle.film = 7;
  subtitle.name = name;
  subtitle.date = "2024-05-06";
  subtitle.uses = uses;
  subtitle.fileName = name + ".srt";
  subtitle.bytes = bytes;
  return subtitle;
}

// A library of the first schema version, filled through that schema's own
// columns: as the program made it before the versions were recorded, and
// as one that recorded version 1.
TEST_P(StoreTest, FirstVersionLibraryIsUpgradedInPlaceAndKeepsEverything) {
  const std::string poster("\xFF\xD8\xFF\xE0poster\0bytes", 16);
  const std::string files[] = {"1\r\n00:00:01,000 --> 00:00:02,000\r\nUno\r\n",
                               std::string("binary\0\xFF\x80", 9), "tres"};
  for (const bool recorded : {false, true}) {
    SCOPED_TRACE(recorded ? "recorded version 1" : "made before versions were recorded");
    TempFolder own;
    const std::string old = recorded ? NewDatabase(GetParam(), own.path()) : database;
    {
      auto connection = ConnectTo(old);
      if (recorded) {
        MigrateSchema(*connection, 1);
      } else {
        connection->Execute(FirstSchema());
      }
      SqlStatement& film =
          connection->Prepare("INSERT INTO films (number, name, poster) VALUES (?, ?, ?)");
      film.BindInteger(7);
      film.BindText("Mi Película");
      film.BindBytes(poster);
      film.Step();
      for (int i = 0; i < 3; ++i) {
        SqlStatement& subtitle = connection->Prepare(
            "INSERT INTO subtitles (fingerprint, language, film, name, date, uses, file_name, "
            "bytes)"
            " VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
        subtitle.BindText("fedcba9876543210");
        subtitle.BindInteger(42);
        subtitle.BindInteger(7);
        subtitle.BindText("Español " + std::to_string(i));
        subtitle.BindText("2024-05-06");
        subtitle.BindInteger(10 * (i + 1));
        subtitle.BindText("f" + std::to_string(i) + ".srt");
        subtitle.BindBytes(files[i]);
        subtitle.Step();
      }
    }

    auto store = OpenStore(old);
    EXPECT_EQ(RecordedSchemaVersions(*ConnectTo(old)), (std::vector<int>{1, 2}));
    const auto films = store->AllFilms();
    ASSERT_EQ(films.size(), 1u);
    EXPECT_EQ(films[0].name, "Mi Película");
    EXPECT_EQ(films[0].poster, poster);
    const auto listed = store->ListSubtitles(0xfedcba9876543210ull, 42);
    ASSERT_EQ(listed.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(listed[i].id, 3 - i);
      EXPECT_EQ(listed[i].uses, 30 - 10 * i);
      EXPECT_EQ(listed[i].name, "Español " + std::to_string(2 - i));
      EXPECT_EQ(listed[i].fileName, "f" + std::to_string(2 - i) + ".srt");
      EXPECT_EQ(listed[i].date, "2024-05-06");
    }
    const auto taken = store->TakeSubtitleFiles({2, 1, 3}, std::nullopt);
    ASSERT_EQ(taken.size(), 3u);
    for (int i = 0; i < 3; ++i) {
      const int64_t id = i == 0 ? 2 : i == 1 ? 1 : 3;
      EXPECT_EQ(taken[i].id, id);
      EXPECT_EQ(taken[i].bytes, files[id - 1]);
      EXPECT_EQ(taken[i].uses, 10 * id + 1);
    }

    // Opening it again finds nothing to do; the library serves on.
    auto again = OpenStore(old);
    EXPECT_EQ(RecordedSchemaVersions(*ConnectTo(old)), (std::vector<int>{1, 2}));
    EXPECT_EQ(again->AllSubtitles().size(), 3u);
  }
}

// A subtitle removed and another added: the new one gets a new identifier,
// so a list fetched before the removal cannot download the newcomer.
TEST_P(StoreTest, IdentifiersAreNeverGivenTwice) {
  auto store = OpenStore(database);
  store->AddFilm({7, "Mi Película", "\xFF\xD8\xFF\xD9"});
  const int64_t first = store->AddSubtitle(Subtitle("a", 0, "x"));
  const int64_t second = store->AddSubtitle(Subtitle("b", 0, "y"));
  ASSERT_TRUE(store->RemoveSubtitle(second));
  EXPECT_FALSE(store->RemoveSubtitle(second));
  const int64_t third = store->AddSubtitle(Subtitle("c", 0, "z"));
  EXPECT_GT(third, second);
  EXPECT_TRUE(store->TakeSubtitleFiles({second}, std::nullopt).empty());
  const auto left = store->TakeSubtitleFiles({first, third}, std::nullopt);
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].bytes, "x");
  EXPECT_EQ(left[1].bytes, "z");
}

TEST_P(StoreTest, NewerSchemaThanTheProgramKnowsIsRefused) {
  OpenStore(database);
  {
    auto connection = ConnectTo(database);
    SqlStatement& insert = connection->Prepare(
        "INSERT INTO schema_migrations (version, description, applied) VALUES (?, ?, ?)");
    insert.BindInteger(NewestSchemaVersion() + 1);
    insert.BindText("a later program's step");
    insert.BindText("2030-01-01 00:00:00");
    insert.Step();
  }
  try {
    OpenStore(database);
    FAIL() << "opened a database of a newer schema";
  } catch (const StoreFailure& failure) {
    EXPECT_NE(std::string(failure.what())
                  .find("schema version " + std::to_string(NewestSchemaVersion() + 1)),
              std::string::npos)
        << failure.what();
  }
}

// Processes starting at once on a new database: one makes the schema, the
// others wait for it and find nothing left to do.
TEST_P(StoreTest, StoresOpenedAtOnceMakeTheSchemaOnce) {
  std::atomic<int> failed{0};
  std::vector<std::thread> openers;
  for (int i = 0; i < 4; ++i) {
    openers.emplace_back([&] {
      try {
        OpenStore(database);
      } catch (const std::exception& failure) {
        ++failed;
        ADD_FAILURE() << failure.what();
      }
    });
  }
  for (auto& opener : openers) opener.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(RecordedSchemaVersions(*ConnectTo(database)), (std::vector<int>{1, 2}));
}

// Downloads of the same subtitles asked in opposite orders at once: none
// waits for another in a circle (a deadlock the database would break by
// failing one), and every use is counted.
TEST_P(StoreTest, DownloadsInAnyOrderCountEveryUseAndNeverDeadlock) {
  auto store = OpenStore(database);
  store->AddLibrary({{7, "Mi Película", "\xFF\xD8\xFF\xD9"}},
                    {Subtitle("a", 0, "x"), Subtitle("b", 0, "y"), Subtitle("c", 0, "z")});
  constexpr int kThreads = 8, kRounds = 10;
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::vector<int64_t> ids =
          t % 2 ? std::vector<int64_t>{1, 2, 3} : std::vector<int64_t>{3, 2, 1};
      for (int r = 0; r < kRounds; ++r) {
        try {
          const auto taken = store->TakeSubtitleFiles(ids, std::nullopt);
          if (taken.size() != 3 || taken[0].id != ids[0]) ++failed;
        } catch (const std::exception& failure) {
          if (++failed <= 3) ADD_FAILURE() << failure.what();
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failed, 0);
  for (const auto& subtitle : store->AllSubtitles()) EXPECT_EQ(subtitle.uses, kThreads * kRounds);
}

}  // namespace
