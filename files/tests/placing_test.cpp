#include "placing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

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

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

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
