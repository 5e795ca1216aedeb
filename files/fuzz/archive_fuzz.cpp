// Fuzz target: arbitrary bytes as the archive. Opens it, lists every entry,
// extracts each under its own name (and under a few hostile target names),
// then places the archive as the wizard would; nothing may appear outside
// the scratch folders. The base folder sits three folders deep so that any
// escape, up to three levels, lands where it is seen.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

  {
    std::ofstream out(s.work / "subtitles.zip", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::unique_ptr<ArchiveStream> stream;
  CountingMessages messages;
  PlaceSubtitleFiles(Folder(s.work), Folder(s.video), L"movie.avi", stream,
                     PlatformFileOperations(), messages);
  fs::current_path(s.started);

  ExpectOnly(s.root, {"outer", "video"});
  ExpectOnly(s.outer, {"inner"});
  ExpectOnly(s.inner, {"base", "work", "archive.zip"});
  if (fs::exists(s.work / "subtitles.zip")) std::abort();  // the archive is always deleted
  return 0;
}
