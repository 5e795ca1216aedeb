#include "placing.h"

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

std::wstring SubtitleTargetPath(const std::wstring& videoFolder, const std::wstring& videoFileName,
                                const std::wstring& entryName, FileOperations& files) {
  const std::wstring base = videoFolder + NameWithoutExtension(videoFileName);
  const std::wstring extension = ExtensionOf(entryName);
  std::wstring candidate = base + extension;
  for (unsigned long long n = 1; files.IsFile(candidate); ++n) {
    candidate = base + L"(" + std::to_wstring(n) + L")" + extension;
  }
  return candidate;
}

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
  // The archive reader unpacks into the current directory: when the working
  // folder cannot become it, nothing is unpacked (elsewhere).
  ArchiveHandle archive =
      files.ChangeCurrentFolder(workingFolder) ? OpenArchive(archivePath, nullptr, files) : nullptr;
  ArchiveEntry entry;
  GetArchiveEntry(archive, -1, entry);
  const int32_t count = entry.index;
  for (int32_t i = 0; i < count; ++i) {
    // An entry that cannot be reached means a damaged central directory:
    // no later entry can be reached either.
    if (GetArchiveEntry(archive, i, entry) == kArchiveReadFailed) break;
    const std::wstring& name = entry.name;
    if (Contains(name, L".url")) continue;
    // A name that cannot be written inside the working folder (unreadable,
    // climbing out, a device): nothing is extracted, copied or deleted for
    // it, and the user learns that a file was not placed.
    if (!IsContainedName(name)) {
      messages.ShowWritePermissionMessage();
      continue;
    }
    ExtractArchiveEntry(archive, i, name);
    const std::wstring source = workingFolder + name;
    std::wstring target;
    if (Contains(name, L".jpg")) {
      target = videoFolder + name;
      if (files.IsFile(target)) continue;
    } else {
      target = SubtitleTargetPath(videoFolder, videoFileName, name, files);
    }
    if (!files.CopyOver(source, target)) messages.ShowWritePermissionMessage();
    files.RemoveFile(source);
  }
  CloseArchive(archive);
  files.RemoveFile(archivePath);
}
