// Fuzz target: arbitrary bytes as the archive. Opens it, lists every entry,
// extracts each under its own name (and under a few hostile target names),
// then places the archive as the wizard would, once with a working folder
// of its own and once in the video folder; nothing may appear outside the
// scratch folders, and the files that lay in the working folder and beside
// the video before must still be there with their bytes. The base folder
// sits three folders deep so that any escape, up to three levels, lands
// where it is seen.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "archive.h"
#include "placing.h"

namespace fs = std::filesystem;

namespace {

struct Scratch {
  fs::path started;  // the fuzzer's own current directory, given back after each input
  fs::path root, outer, inner, base, video, work;
};

// Never destroyed, so that the clean-up at exit still finds it.
const Scratch& Folders() {
  static const Scratch* scratch = [] {
    auto* made = new Scratch;
    Scratch& s = *made;
    s.started = fs::current_path();
    s.root = fs::temp_directory_path() / ("morvane-fuzz-" + std::to_string(getpid()));
    s.outer = s.root / "outer";
    s.inner = s.outer / "inner";
    s.base = s.inner / "base";
    s.video = s.root / "video";
    s.work = s.inner / "work";
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(Folders().root, ignored);
    });
    return made;
  }();
  return *scratch;
}

// Only `allowed` may lie directly in `folder`.
void ExpectOnly(const fs::path& folder, const std::set<std::string>& allowed) {
  for (const auto& item : fs::directory_iterator(folder)) {
    const std::string name = item.path().filename().string();
    if (!allowed.count(name)) {
      std::fprintf(stderr, "escaped: %s\n", item.path().c_str());
      std::abort();
    }
  }
}

void Reset(const fs::path& folder) {
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(folder, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(folder, ignored);
  fs::create_directories(folder);
}

class CountingMessages : public PlacingMessages {
 public:
  void ShowWritePermissionMessage() override { ++shown; }
  int shown = 0;
};

std::wstring Folder(const fs::path& path) { return path.wstring() + L"/"; }

// Files of others, named as archive entries and placed subtitles often are.
using OwnFiles = std::map<std::string, std::string>;
const OwnFiles kInWorkingFolder = {{"es.srt", "work es"},
                                   {"movie.srt", "work movie"},
                                   {"cover.jpg", "work cover"},
                                   {"a.srt", "work a"},
                                   {"subs/en.srt", "work nested"}};
const OwnFiles kBesideTheVideo = {{"movie.avi", "video"},
                                  {"movie.srt", "video movie"},
                                  {"movie(1).sub", "video numbered"},
                                  {"cover.jpg", "video cover"},
                                  {"stored.sub", "video stored"}};

void Put(const fs::path& folder, const OwnFiles& files) {
  for (const auto& [name, bytes] : files) {
    fs::create_directories((folder / name).parent_path());
    std::ofstream(folder / name, std::ios::binary) << bytes;
  }
}

void ExpectStill(const fs::path& folder, const OwnFiles& files) {
  for (const auto& [name, bytes] : files) {
    std::ifstream in(folder / name, std::ios::binary);
    const std::string found((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || found != bytes) {
      std::fprintf(stderr, "changed: %s\n", (folder / name).c_str());
      std::abort();
    }
  }
}

// Placing makes no folder beside the video and leaves none of its own.
void ExpectNoFolderIn(const fs::path& folder) {
  for (const auto& item : fs::directory_iterator(folder)) {
    if (item.is_directory()) {
      std::fprintf(stderr, "left behind: %s\n", item.path().c_str());
      std::abort();
    }
  }
}

void PlaceAsTheWizard(const fs::path& work, const fs::path& video, const uint8_t* data,
                      size_t size) {
  {
    std::ofstream out(work / "subtitles.zip", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::unique_ptr<ArchiveStream> stream;
  CountingMessages messages;
  PlaceSubtitleFiles(Folder(work), Folder(video), L"movie.avi", stream, PlatformFileOperations(),
                     messages);
  if (fs::exists(work / "subtitles.zip")) std::abort();  // the archive is always deleted
  if (messages.shown > kMaxPlacingMessages) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Scratch& s = Folders();
  Reset(s.base);
  Reset(s.work);
  Reset(s.video);
  const fs::path archive = s.inner / "archive.zip";
  {
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  fs::current_path(s.base);
  if (ArchiveHandle h = OpenArchive(archive.wstring())) {
    ArchiveEntry entry;
    GetArchiveEntry(h, -1, entry);
    const int32_t count = entry.index < 64 ? entry.index : 64;
    for (int32_t i = 0; i < count; ++i) {
      if (GetArchiveEntry(h, i, entry) != kArchiveOk) continue;
      ExtractArchiveEntry(h, i, entry.name);
      for (const wchar_t* hostile : {L"../x", L"a/../../x", L"..\\..\\x", L"NUL", L"x:y"}) {
        ExtractArchiveEntry(h, i, hostile);
      }
    }
    // Back to an earlier entry after the walk.
    if (count > 1) GetArchiveEntry(h, 0, entry);
    CloseArchive(h);
  }

  Put(s.work, kInWorkingFolder);
  Put(s.video, kBesideTheVideo);
  PlaceAsTheWizard(s.work, s.video, data, size);
  ExpectStill(s.work, kInWorkingFolder);
  ExpectStill(s.video, kBesideTheVideo);
  ExpectNoFolderIn(s.video);
  // Nothing of the run is left in the working folder.
  ExpectOnly(s.work, {"es.srt", "movie.srt", "cover.jpg", "a.srt", "subs"});
  ExpectOnly(s.work / "subs", {"en.srt"});

  // The video folder as the working folder: the user's files stay too.
  Reset(s.video);
  Put(s.video, kBesideTheVideo);
  PlaceAsTheWizard(s.video, s.video, data, size);
  ExpectStill(s.video, kBesideTheVideo);
  ExpectNoFolderIn(s.video);
  fs::current_path(s.started);

  ExpectOnly(s.root, {"outer", "video"});
  ExpectOnly(s.outer, {"inner"});
  ExpectOnly(s.inner, {"base", "work", "archive.zip"});
  return 0;
}
