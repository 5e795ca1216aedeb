#include "placing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "archive.h"
#include "forwarding_file_operations.h"
#include "temp_folder.h"
#include "zip_fixture.h"

namespace fs = std::filesystem;

namespace {

class RecordingMessages : public PlacingMessages {
 public:
  void ShowWritePermissionMessage() override { ++shown; }
  int shown = 0;
};

// Files (with their contents) and folders (with a trailing "/") under `root`.
std::map<std::string, std::string> Contents(const fs::path& root) {
  std::map<std::string, std::string> found;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(item.path(), root).generic_string();
    if (item.is_directory()) {
      found[name + "/"] = "";
    } else {
      found[name] = ReadFile(item.path());
    }
  }
  return found;
}

std::wstring Folder(const fs::path& path) {
  return path.wstring() + static_cast<wchar_t>(fs::path::preferred_separator);
}

class PlacingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = fs::current_path();
    work_ = root_.path() / "work";
    video_ = root_.path() / "video";
    fs::create_directories(work_);
    fs::create_directories(video_);
  }
  void TearDown() override { fs::current_path(saved_); }

  void Place(const std::string& archive, const std::wstring& videoFileName = L"The Movie.avi") {
    std::ofstream(work_ / "subtitles.zip", std::ios::binary) << archive;
    std::unique_ptr<ArchiveStream> stream;
    PlaceSubtitleFiles(Folder(work_), Folder(video_), videoFileName, stream,
                       PlatformFileOperations(), messages_);
  }

  TempFolder root_;
  fs::path work_, video_, saved_;
  RecordingMessages messages_;
};

using Files = std::map<std::string, std::string>;

TEST_F(PlacingTest, PlacesEachKindOfEntryByTheRules) {
  const ZipEntrySpec folderEntry{"sub/", "", kFixtureDosTime, 0, 0x10};
  const struct {
    const char* what;
    std::vector<ZipEntrySpec> entries;
    std::wstring videoFileName;
    Files before;  // in the video folder
    Files after;   // in the video folder
    int messages;
  } cases[] = {
      {"one subtitle", {{"es.srt", "ES"}}, L"The Movie.avi", {}, {{"The Movie.srt", "ES"}}, 0},
      {"numbered when taken",
       {{"es.srt", "ES"}},
       L"The Movie.avi",
       {{"The Movie.srt", "old"}, {"The Movie(1).srt", "older"}},
       {{"The Movie.srt", "old"}, {"The Movie(1).srt", "older"}, {"The Movie(2).srt", "ES"}},
       0},
      {"two in archive order",
       {{"a.srt", "A"}, {"b.srt", "B"}},
       L"The Movie.avi",
       {},
       {{"The Movie.srt", "A"}, {"The Movie(1).srt", "B"}},
       0},
      {"each its own extension",
       {{"a.srt", "A"}, {"b.sub", "B"}},
       L"The Movie.avi",
       {},
       {{"The Movie.srt", "A"}, {"The Movie.sub", "B"}},
       0},
      {"dots in the video name",
       {{"es.srt", "ES"}},
       L"My.Film.2010.mkv",
       {},
       {{"My.Film.2010.srt", "ES"}},
       0},
      {"video name without extension",
       {{"es.srt", "ES"}},
       L"movie",
       {},
       {{"movie.srt", "ES"}},
       0},
      {"entry without extension",
       {{"readme", "R"}},
       L"The Movie.avi",
       {},
       {{"The Movie", "R"}},
       0},
      {"dot in a folder of the entry",
       {{"v1.0/readme", "R"}},
       L"The Movie.avi",
       {},
       {{"The Movie", "R"}},
       0},
      {"poster", {{"cover.jpg", "JPG"}}, L"The Movie.avi", {}, {{"cover.jpg", "JPG"}}, 0},
      {"poster already there",
       {{"cover.jpg", "JPG"}},
       L"The Movie.avi",
       {{"cover.jpg", "mine"}},
       {{"cover.jpg", "mine"}},
       0},
      {"upper-case poster is a subtitle",
       {{"POSTER.JPG", "P"}},
       L"The Movie.avi",
       {},
       {{"The Movie.JPG", "P"}},
       0},
      {"shortcuts skipped",
       {{"link.url", "U"}, {"notes.url.txt", "N"}},
       L"The Movie.avi",
       {},
       {},
       0},
      {"subtitle in a folder",
       {{"subs/es.srt", "ES"}},
       L"The Movie.avi",
       {},
       {{"The Movie.srt", "ES"}},
       0},
      {"poster in a folder missing beside the video",
       {{"art/cover.jpg", "JPG"}},
       L"The Movie.avi",
       {},
       {},
       1},
      {"folder entry", {folderEntry}, L"The Movie.avi", {}, {}, 1},
      {"names that leave the working folder or reach a device",
       {{"../escape.srt", "X"}, {"CON.srt", "X"}, {"fine.srt", "F"}},
       L"The Movie.avi",
       {},
       {{"The Movie.srt", "F"}},
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::current_path(root_.path());  // Windows deletes no current directory
    fs::remove_all(work_);
    fs::remove_all(video_);
    fs::create_directories(work_);
    fs::create_directories(video_);
    for (const auto& [name, content] : c.before) std::ofstream(video_ / name) << content;
    messages_.shown = 0;

    Place(BuildZip(c.entries), c.videoFileName);

    EXPECT_EQ(Contents(video_), c.after);
    // Extracted files and folders go with the folder they were unpacked in.
    EXPECT_EQ(Contents(work_), Files{});
    EXPECT_EQ(messages_.shown, c.messages);
    EXPECT_EQ(fs::canonical(fs::current_path()), fs::canonical(work_));
  }
}

TEST_F(PlacingTest, PlacingAgainNeverReplacesAPlacedSubtitle) {
  const std::string archive = BuildZip({{"es.srt", "first"}});
  Place(archive);
  Place(BuildZip({{"es.srt", "second"}}));
  Place(BuildZip({{"es.srt", "third"}}));
  EXPECT_EQ(Contents(video_), (Files{{"The Movie.srt", "first"},
                                     {"The Movie(1).srt", "second"},
                                     {"The Movie(2).srt", "third"}}));
  EXPECT_EQ(messages_.shown, 0);
}

TEST_F(PlacingTest, PosterBesideTheVideoInItsFolder) {
  fs::create_directories(video_ / "art");
  Place(BuildZip({{"art/cover.jpg", "JPG"}}));
  EXPECT_EQ(ReadFile(video_ / "art" / "cover.jpg"), "JPG");
  EXPECT_EQ(messages_.shown, 0);
}

TEST_F(PlacingTest, ArchivesThatCannotBeReadPlaceNothingAndAreDeleted) {
  std::string damaged = BuildZip({{"a.srt", "A"}, {"b.srt", "B"}, {"c.srt", "C"}});
  damaged[FindRecords(damaged).central[1]] = 'X';
  const struct {
    const char* what;
    std::string archive;
    Files after;
  } cases[] = {
      {"zero bytes", "", {}},
      {"text", "not an archive", {}},
      {"central directory damaged after the first entry", damaged, {{"The Movie.srt", "A"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(video_);
    fs::create_directories(video_);
    messages_.shown = 0;
    Place(c.archive);
    EXPECT_EQ(Contents(video_), c.after);
    EXPECT_EQ(Contents(work_), Files{});
    EXPECT_EQ(messages_.shown, 0);
  }
}

TEST_F(PlacingTest, NameThatClimbsOutTouchesNothingOutside) {
  // A file where "../x.srt" from the working folder points: neither copied
  // beside the video nor deleted.
  std::ofstream(root_.path() / "x.srt") << "outside";
  Place(BuildZip({{"../x.srt", "X"}}));
  EXPECT_EQ(ReadFile(root_.path() / "x.srt"), "outside");
  EXPECT_EQ(Contents(video_), Files{});
  EXPECT_EQ(messages_.shown, 1);
}

TEST_F(PlacingTest, ClosesTheArchiveStreamLeftOpenByTheDownload) {
  const std::wstring archivePath = Folder(work_) + L"subtitles.zip";
  std::unique_ptr<ArchiveStream> stream = PlatformFileOperations().CreateArchiveStream(archivePath);
  ASSERT_TRUE(stream);
  const std::string bytes = BuildZip({{"es.srt", "ES"}});
  // Written in two parts, as a download delivers it.
  ASSERT_TRUE(stream->Write(bytes.data(), 10));
  ASSERT_TRUE(stream->Write(bytes.data() + 10, bytes.size() - 10));
  ASSERT_TRUE(stream->IsOpen());

  PlaceSubtitleFiles(Folder(work_), Folder(video_), L"The Movie.avi", stream,
                     PlatformFileOperations(), messages_);
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(Contents(video_), (Files{{"The Movie.srt", "ES"}}));
  EXPECT_EQ(Contents(work_), Files{});
}

TEST_F(PlacingTest, WithoutAnArchiveNothingHappens) {
  const fs::path other = root_.path() / "elsewhere";
  fs::create_directories(other);
  std::unique_ptr<ArchiveStream> stream =
      PlatformFileOperations().CreateArchiveStream(Folder(other) + L"partial.zip");
  ASSERT_TRUE(stream);
  fs::current_path(other);
  PlaceSubtitleFiles(Folder(work_), Folder(video_), L"The Movie.avi", stream,
                     PlatformFileOperations(), messages_);
  ASSERT_NE(stream, nullptr);
  EXPECT_TRUE(stream->IsOpen());
  stream->Close();
  EXPECT_FALSE(stream->IsOpen());
  EXPECT_FALSE(stream->Write("x", 1));
  EXPECT_EQ(fs::canonical(fs::current_path()), fs::canonical(other));
  EXPECT_EQ(messages_.shown, 0);
  EXPECT_TRUE(Contents(video_).empty());
}

// When the working folder cannot become the current directory, the entries
// are not unpacked wherever the current directory happens to be.
TEST_F(PlacingTest, NothingIsUnpackedElsewhereWhenTheWorkingFolderCannotBeEntered) {
  struct RefusingFolderChange : ForwardingFileOperations {
    bool ChangeCurrentFolder(const std::wstring&) override { return false; }
  } files;
  const fs::path other = root_.path() / "elsewhere";
  fs::create_directories(other);
  fs::current_path(other);
  std::ofstream(work_ / "subtitles.zip", std::ios::binary) << BuildZip({{"es.srt", "ES"}});
  std::unique_ptr<ArchiveStream> stream;
  PlaceSubtitleFiles(Folder(work_), Folder(video_), L"The Movie.avi", stream, files, messages_);
  EXPECT_TRUE(fs::is_empty(other));
  EXPECT_TRUE(fs::is_empty(video_));
  EXPECT_TRUE(fs::is_empty(work_));
  EXPECT_EQ(messages_.shown, 0);
}

// Files that are already in the working folder belong to someone else: the
// user's own when the working folder is the video folder, another
// program's in the temporary folder. Entries of the same names neither
// replace them, nor are they copied or deleted in the entries' place.
TEST_F(PlacingTest, FilesAlreadyInTheWorkingFolderKeepTheirBytes) {
  const std::vector<ZipEntrySpec> entries = {{"The Movie.srt", "NEW"},
                                             {"notes.txt", "NEW NOTES"},
                                             {"subs/es.srt", "ES"},
                                             {"cover.jpg", "JPG"}};
  const Files mine = {{"The Movie.avi", "video"},
                      {"The Movie.srt", "hand-edited"},
                      {"notes.txt", "my notes"},
                      {"subs/", ""},
                      {"subs/es.srt", "theirs"}};
  const struct {
    const char* what;
    bool workingIsVideoFolder;
    Files videoAfter;  // besides what the working folder held, when it is the video folder
  } cases[] = {
      {"working folder is the video folder", true,
       {{"The Movie(1).srt", "NEW"},
        {"The Movie.txt", "NEW NOTES"},
        {"The Movie(2).srt", "ES"},
        {"cover.jpg", "JPG"}}},
      {"temporary folder of other programs", false,
       {{"The Movie.srt", "NEW"},
        {"The Movie.txt", "NEW NOTES"},
        {"The Movie(1).srt", "ES"},
        {"cover.jpg", "JPG"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::current_path(root_.path());
    fs::remove_all(work_);
    fs::remove_all(video_);
    fs::create_directories(work_);
    fs::create_directories(video_);
    const fs::path working = c.workingIsVideoFolder ? video_ : work_;
    for (const auto& [name, content] : mine) {
      if (name.back() == '/') {
        fs::create_directories(working / name);
      } else {
        std::ofstream(working / name) << content;
      }
    }
    messages_.shown = 0;

    std::ofstream(working / "subtitles.zip", std::ios::binary) << BuildZip(entries);
    std::unique_ptr<ArchiveStream> stream;
    PlaceSubtitleFiles(Folder(working), Folder(video_), L"The Movie.avi", stream,
                       PlatformFileOperations(), messages_);

    Files expected = c.videoAfter;
    if (c.workingIsVideoFolder) expected.insert(mine.begin(), mine.end());
    EXPECT_EQ(Contents(video_), expected);
    if (!c.workingIsVideoFolder) {
      EXPECT_EQ(Contents(work_), mine);
    }
    EXPECT_EQ(messages_.shown, 0);
  }
}

// The folder the entries are unpacked in is made new: a name that is taken
// (here by another program just before placing makes it) is never used.
TEST_F(PlacingTest, UnpacksIntoAFolderOfANewNameOnly) {
  struct TakenFirstName : ForwardingFileOperations {
    bool MakeFolder(const std::wstring& path) override {
      if (taken.empty()) {
        taken = fs::path(path);
        fs::create_directories(taken);
        std::ofstream(taken / "es.srt") << "theirs";
      }
      return real_.MakeFolder(path);
    }
    fs::path taken;
  } files;
  std::ofstream(work_ / "subtitles.zip", std::ios::binary) << BuildZip({{"es.srt", "ES"}});
  std::unique_ptr<ArchiveStream> stream;
  PlaceSubtitleFiles(Folder(work_), Folder(video_), L"The Movie.avi", stream, files, messages_);
  ASSERT_FALSE(files.taken.empty());
  EXPECT_EQ(Contents(video_), (Files{{"The Movie.srt", "ES"}}));
  const std::string theirs = files.taken.filename().string();
  EXPECT_EQ(Contents(work_), (Files{{theirs + "/", ""}, {theirs + "/es.srt", "theirs"}}));
  EXPECT_EQ(messages_.shown, 0);
}

// When an entry's file cannot be created (another program holds the name,
// or the disk refuses), whatever lies at that name is not placed as the
// subtitle, and the user is told; the other entries are placed.
TEST_F(PlacingTest, EntryWhoseFileCannotBeCreatedPlacesNothingAndSaysSo) {
  struct HeldByAnother : ForwardingFileOperations {
    std::unique_ptr<OutputFile> CreateOutput(const std::wstring& p, uint32_t a) override {
      if (fs::path(p).filename() != "b.srt") return real_.CreateOutput(p, a);
      std::ofstream(fs::path(p)) << "held by another program";
      return nullptr;
    }
  } files;
  std::ofstream(work_ / "subtitles.zip", std::ios::binary)
      << BuildZip({{"a.srt", "A"}, {"b.srt", "B"}, {"c.srt", "C"}});
  std::unique_ptr<ArchiveStream> stream;
  PlaceSubtitleFiles(Folder(work_), Folder(video_), L"The Movie.avi", stream, files, messages_);
  EXPECT_EQ(Contents(video_), (Files{{"The Movie.srt", "A"}, {"The Movie(1).srt", "C"}}));
  EXPECT_EQ(messages_.shown, 1);
  EXPECT_EQ(Contents(work_), Files{});
}

// One entry that cannot be read does not end placing: the entries after it
// are placed and the user hears of the one that was not.
TEST_F(PlacingTest, EntryThatFailsInTheMiddleIsPassedOver) {
  const struct {
    const char* what;
    void (*damage)(std::string&, const ZipRecords&);
  } cases[] = {
      {"local extra field past the end (a read failure)",
       [](std::string& z, const ZipRecords& r) { PutLE16(z, r.local[1] + 28, 0xFFFF); }},
      {"local signature", [](std::string& z, const ZipRecords& r) { z[r.local[1]] = 'X'; }},
      {"unknown method", [](std::string& z, const ZipRecords& r) {
         PutLE16(z, r.local[1] + 8, 99);
         PutLE16(z, r.central[1] + 10, 99);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(video_);
    fs::create_directories(video_);
    messages_.shown = 0;
    std::string zip = BuildZip({{"a.srt", "A"}, {"b.srt", "B"}, {"c.srt", "C"}});
    c.damage(zip, FindRecords(zip));
    Place(zip);
    EXPECT_EQ(Contents(video_), (Files{{"The Movie.srt", "A"}, {"The Movie(1).srt", "C"}}));
    EXPECT_EQ(messages_.shown, 1);
    EXPECT_EQ(Contents(work_), Files{});
  }
}

// At most 1,000 entries are read; past them, one message says that not
// everything was placed. (Shortcuts, which are never extracted, fill the
// archive up to the entry that is last or one past the last.)
TEST_F(PlacingTest, ReadsAtMostAThousandEntries) {
  ASSERT_EQ(kMaxArchiveEntries, 1000);
  for (const int count : {1000, 1001}) {
    SCOPED_TRACE(count);
    fs::remove_all(video_);
    fs::create_directories(video_);
    messages_.shown = 0;
    std::vector<ZipEntrySpec> entries(count - 1, {"link.url", "U"});
    entries.push_back({"es.srt", "ES"});
    Place(BuildZip(entries));
    EXPECT_EQ(Contents(video_), (count == 1000 ? Files{{"The Movie.srt", "ES"}} : Files{}));
    EXPECT_EQ(messages_.shown, count == 1000 ? 0 : 1);
    EXPECT_EQ(Contents(work_), Files{});
  }
}

// Counts the existence tests of candidate names beside the video.
struct CountingFileTests : ForwardingFileOperations {
  bool IsFile(const std::wstring& p) override {
    ++fileTests;
    return real_.IsFile(p);
  }
  int fileTests = 0;
};

// Many entries of one extension get the names the rule gives, without
// testing every earlier name again for each of them; an extension of its
// own starts at the unnumbered name.
TEST_F(PlacingTest, FindsTheNamesOfManyEntriesWithoutStartingOverEachTime) {
  const int count = 300;
  std::vector<ZipEntrySpec> entries;
  for (int i = 0; i < count; ++i) {
    entries.push_back({std::to_string(i) + ".srt", std::to_string(i)});
  }
  entries.push_back({"other.sub", "SUB"});
  std::ofstream(video_ / "The Movie(1).srt") << "mine";
  std::ofstream(work_ / "subtitles.zip", std::ios::binary) << BuildZip(entries);
  CountingFileTests files;
  std::unique_ptr<ArchiveStream> stream;
  PlaceSubtitleFiles(Folder(work_), Folder(video_), L"The Movie.avi", stream, files, messages_);

  const Files placed = Contents(video_);
  EXPECT_EQ(placed.size(), count + 2u);
  EXPECT_EQ(placed.at("The Movie.srt"), "0");
  EXPECT_EQ(placed.at("The Movie(1).srt"), "mine");
  EXPECT_EQ(placed.at("The Movie(2).srt"), "1");
  EXPECT_EQ(placed.at("The Movie(300).srt"), "299");
  EXPECT_EQ(placed.at("The Movie.sub"), "SUB");
  EXPECT_LT(files.fileTests, 3 * count);  // from 0 for each entry: 45,000
  EXPECT_EQ(messages_.shown, 0);
}

// However many entries fail, the user presses OK at most three times.
TEST_F(PlacingTest, ShowsAtMostThreeMessages) {
  ASSERT_EQ(kMaxPlacingMessages, 3);
  const struct {
    const char* what;
    std::vector<ZipEntrySpec> entries;
    int messages;
  } cases[] = {
      {"three refused names", {{"../1.srt", "X"}, {"../2.srt", "X"}, {"../3.srt", "X"}}, 3},
      {"four refused names and a good one",
       {{"../1.srt", "X"}, {"../2.srt", "X"}, {"../3.srt", "X"}, {"../4.srt", "X"},
        {"fine.srt", "F"}},
       3},
      {"an entry past 16 MiB", {{"big.srt", std::string(kMaxEntryBytes + 1, '\0')}}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(video_);
    fs::create_directories(video_);
    messages_.shown = 0;
    Place(BuildZip(c.entries));
    EXPECT_EQ(messages_.shown, c.messages);
    EXPECT_EQ(Contents(work_), Files{});
  }
  EXPECT_EQ(Contents(video_), (Files{}));
  std::vector<ZipEntrySpec> many;
  for (int i = 0; i < 200; ++i) many.push_back({"../" + std::to_string(i) + ".srt", "X"});
  messages_.shown = 0;
  Place(BuildZip(many));
  EXPECT_EQ(messages_.shown, 3);
}

// A file that appears beside the video between the test for its name and
// the copy is never replaced: a poster is then left out, a subtitle takes
// the next free name.
TEST_F(PlacingTest, FileThatAppearsBeforeTheCopyIsNeverReplaced) {
  struct AppearsAfterTheTest : ForwardingFileOperations {
    bool IsFile(const std::wstring& p) override {
      const bool there = real_.IsFile(p);
      if (!there && fs::path(p).filename() == name) std::ofstream(fs::path(p)) << "theirs";
      return there;
    }
    std::string name;
  };
  const struct {
    const char* what;
    std::string entry;
    std::string appearing;
    Files after;
  } cases[] = {
      {"poster", "cover.jpg", "cover.jpg", {{"cover.jpg", "theirs"}}},
      {"subtitle", "es.srt", "The Movie.srt",
       {{"The Movie.srt", "theirs"}, {"The Movie(1).srt", "NEW"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(video_);
    fs::create_directories(video_);
    messages_.shown = 0;
    AppearsAfterTheTest files;
    files.name = c.appearing;
    std::ofstream(work_ / "subtitles.zip", std::ios::binary) << BuildZip({{c.entry, "NEW"}});
    std::unique_ptr<ArchiveStream> stream;
    PlaceSubtitleFiles(Folder(work_), Folder(video_), L"The Movie.avi", stream, files, messages_);
    EXPECT_EQ(Contents(video_), c.after);
    EXPECT_EQ(messages_.shown, 0);
  }
}

TEST(SubtitleNaming, CutsTheExtensionAtTheLastDotOfTheLastName) {
  const struct {
    const wchar_t* name;
    const wchar_t* base;
    const wchar_t* extension;
  } cases[] = {
      {L"The Movie.avi", L"The Movie", L".avi"},
      {L"My.Film.2010.mkv", L"My.Film.2010", L".mkv"},
      {L"movie", L"movie", L""},
      {L"movie.", L"movie", L"."},
      {L".hidden", L"", L".hidden"},
      {L"sub.d\\readme", L"sub.d\\readme", L""},
      {L"sub.d/readme", L"sub.d/readme", L""},
      {L"C.x:readme", L"C.x:readme", L""},
      {L"subs/es.srt", L"subs/es", L".srt"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NameWithoutExtension(c.name), c.base) << c.name;
    EXPECT_EQ(ExtensionOf(c.name), c.extension) << c.name;
  }
}

}  // namespace
