#include "placing.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <random>

#include "archive.h"
#include "archive_names.h"

namespace {

// Where the extension of `name` begins, or npos. A separator or drive colon
// after the last dot means that dot belongs to a folder name.
size_t ExtensionStart(const std::wstring& name) {
  const size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos) return dot;
  if (name.find_first_of(L"\\/:", dot + 1) != std::wstring::npos) return std::wstring::npos;
  return dot;
}

bool Contains(const std::wstring& text, const wchar_t* part) {
  return text.find(part) != std::wstring::npos;
}

}  // namespace

std::wstring NameWithoutExtension(const std::wstring& name) {
  const size_t start = ExtensionStart(name);
  return start == std::wstring::npos ? name : name.substr(0, start);
}

std::wstring ExtensionOf(const std::wstring& name) {
  const size_t start = ExtensionStart(name);
  return start == std::wstring::npos ? std::wstring() : name.substr(start);
}

std::wstring SubtitleCandidate(const std::wstring& videoFolder, const std::wstring& videoFileName,
                               const std::wstring& entryName, unsigned long long n) {
  const std::wstring base = videoFolder + NameWithoutExtension(videoFileName);
  const std::wstring extension = ExtensionOf(entryName);
  if (n == 0) return base + extension;
  return base + L"(" + std::to_wstring(n) + L")" + extension;
}

std::wstring SubtitleTargetPath(const std::wstring& videoFolder, const std::wstring& videoFileName,
                                const std::wstring& entryName, FileOperations& files,
                                unsigned long long& n) {
  std::wstring candidate = SubtitleCandidate(videoFolder, videoFileName, entryName, n);
  while (files.IsFile(candidate)) {
    candidate = SubtitleCandidate(videoFolder, videoFileName, entryName, ++n);
  }
  return candidate;
}

namespace {

// How often a copy beside the video is tried again at the next candidate
// when the one chosen was taken in the meantime by another program.
constexpr int kCopyAttempts = 100;

// Makes a folder with a new name inside `parent` (which ends in a
// separator) and returns its path with a separator, or empty. The folder is
// created here and now, so nothing in it belongs to anyone else; an
// existing name is never taken over.
std::wstring MakePrivateFolder(const std::wstring& parent, FileOperations& files) {
  std::random_device device;
  std::mt19937_64 random((static_cast<uint64_t>(device()) << 32) ^
                         static_cast<uint64_t>(
                             std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::wstring name = L"morvane-";
    const uint64_t value = random();
    for (int shift = 28; shift >= 0; shift -= 4) {
      name += L"0123456789abcdef"[(value >> shift) & 0xF];
    }
    const std::wstring folder = parent + name + L".tmp";
    if (files.MakeFolder(folder)) return folder + parent.back();
    // Not a name that is taken: folders cannot be made here at all.
    if (!files.Exists(folder)) break;
  }
  return {};
}

// One run of placing: where files go, what was learnt about the subtitle
// names beside the video, and how many messages were shown.
class Placing {
 public:
  Placing(const std::wstring& videoFolder, const std::wstring& videoFileName,
          FileOperations& files, PlacingMessages& messages)
      : videoFolder_(videoFolder),
        videoFileName_(videoFileName),
        files_(files),
        messages_(messages) {}

  // Tells the user that a file of the archive was not placed.
  void NotPlaced() {
    if (shown_ >= kMaxPlacingMessages) return;
    ++shown_;
    messages_.ShowWritePermissionMessage();
  }

  // A poster keeps its name and is never put over a file of that name.
  void PlacePoster(const std::wstring& source, const std::wstring& name) {
    const std::wstring target = videoFolder_ + name;
    if (files_.IsFile(target)) return;
    if (files_.CopyNew(source, target)) return;
    // One that appeared meanwhile is left alone, as if it had been there.
    if (!files_.IsFile(target)) NotPlaced();
  }

  // A subtitle goes to the first free candidate of its extension. The
  // candidates before the one taken last for an extension are known to be
  // taken, so the search for the next entry goes on from there.
  void PlaceSubtitle(const std::wstring& source, const std::wstring& name) {
    unsigned long long& next = nextCandidate_[ExtensionOf(name)];
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
      const std::wstring target =
          SubtitleTargetPath(videoFolder_, videoFileName_, name, files_, next);
      if (files_.CopyNew(source, target)) {
        ++next;
        return;
      }
      // A failed copy leaves the name free for the next entry, unless a
      // file arrived there in the meantime: then the next name is tried.
      if (!files_.IsFile(target)) break;
      ++next;
    }
    NotPlaced();
  }

 private:
  const std::wstring& videoFolder_;
  const std::wstring& videoFileName_;
  FileOperations& files_;
  PlacingMessages& messages_;
  std::map<std::wstring, unsigned long long> nextCandidate_;
  int shown_ = 0;
};

// Closes the archive when placing leaves, however it leaves.
struct ArchiveCloser {
  ArchiveHandle handle;
  ~ArchiveCloser() { CloseArchive(handle); }
};

}  // namespace

void PlaceSubtitleFiles(const std::wstring& workingFolder, const std::wstring& videoFolder,
                        const std::wstring& videoFileName,
                        std::unique_ptr<ArchiveStream>& archiveStream, FileOperations& files,
                        PlacingMessages& messages) {
  const std::wstring archivePath = workingFolder + kArchiveFileName;
  if (!files.IsFile(archivePath)) return;
  if (archiveStream) {
    archiveStream->Close();
    archiveStream.reset();
  }
  // The entries are unpacked into a folder made for this run only, so that
  // no file already in the working folder (the user's own, when it is the
  // video folder, or another program's in the temporary folder) is ever
  // replaced, copied as if it were a subtitle, or deleted.
  const std::wstring privateFolder = MakePrivateFolder(workingFolder, files);
  {
    // The archive reader unpacks into the current directory at its open:
    // when the private folder cannot become it, nothing is unpacked.
    ArchiveCloser archive{!privateFolder.empty() && files.ChangeCurrentFolder(privateFolder)
                              ? OpenArchive(archivePath, nullptr, files)
                              : nullptr};
    files.ChangeCurrentFolder(workingFolder);
    Placing placing(videoFolder, videoFileName, files, messages);
    // Without a folder to unpack into, nothing of the archive is placed.
    if (privateFolder.empty()) placing.NotPlaced();
    ArchiveEntry entry;
    GetArchiveEntry(archive.handle, -1, entry);
    const int32_t count = entry.index;
    const int32_t visited = std::min(count, kMaxArchiveEntries);
    for (int32_t i = 0; i < visited; ++i) {
      if (GetArchiveEntry(archive.handle, i, entry) != kArchiveOk) {
        // A damaged central directory: no later entry can be reached.
        if (!ArchiveEntryReachable(archive.handle, i)) break;
        // This entry alone cannot be read; the next ones may be good.
        placing.NotPlaced();
        continue;
      }
      const std::wstring& name = entry.name;
      if (Contains(name, L".url")) continue;
      // A name that cannot be written inside the folder (climbing out, a
      // device, a stream): nothing is extracted or copied for it.
      if (!IsContainedName(name)) {
        placing.NotPlaced();
        continue;
      }
      // Only a file this call created is copied: when it could not be
      // created, nothing is placed for the entry and the user is told.
      if (!ExtractionCreatedTarget(ExtractArchiveEntry(archive.handle, i, name))) {
        placing.NotPlaced();
        continue;
      }
      const std::wstring source = privateFolder + name;
      if (Contains(name, L".jpg")) {
        placing.PlacePoster(source, name);
      } else {
        placing.PlaceSubtitle(source, name);
      }
    }
    if (count > visited) placing.NotPlaced();
  }
  if (!privateFolder.empty()) files.RemoveFolderTree(privateFolder);
  files.RemoveFile(archivePath);
}
