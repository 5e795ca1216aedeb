#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "file_operations.h"

// The archive every download writes into the working folder.
inline constexpr wchar_t kArchiveFileName[] = L"subtitles.zip";

// A download of the archive stops as failed once it passes this size.
inline constexpr uint64_t kMaxArchiveBytes = 64u << 20;
// Placing reads at most this many entries of an archive; the rest are not
// extracted, and the user is told once that not everything was placed.
inline constexpr int32_t kMaxArchiveEntries = 1000;
// At most this many write-permission messages per placing: each is a modal
// box the user must press, and past the first few they tell nothing new.
inline constexpr int kMaxPlacingMessages = 3;

// The one message of placing, shown when a file cannot be written beside the
// video: modal, error icon, OK button, owned by the wizard window.
inline constexpr wchar_t kWritePermissionText[] =
    L"El programa no tiene permiso para escribir el archivo en esta carpeta.";
inline constexpr wchar_t kWritePermissionTitle[] = L"Información";

// Where placing shows its message; the wizard's view implements it.
class PlacingMessages {
 public:
  virtual ~PlacingMessages() = default;
  // Shows kWritePermissionText with kWritePermissionTitle and waits for OK.
  virtual void ShowWritePermissionMessage() = 0;
};

// The video's file name without its extension: cut before the last "."
// unless a folder separator or ":" follows it.
std::wstring NameWithoutExtension(const std::wstring& name);

// The extension of a name from its last "." (dot included), by the same
// rule; empty when there is none.
std::wstring ExtensionOf(const std::wstring& name);

// Candidate n of a subtitle's target: videoFolder + base + extension for 0,
// base + "(n)" + extension after it.
std::wstring SubtitleCandidate(const std::wstring& videoFolder, const std::wstring& videoFileName,
                               const std::wstring& entryName, unsigned long long n);

// The first of videoFolder + base + extension, then base + "(1)" +
// extension, "(2)" ... at which no file exists. The search begins at
// candidate `n`, and `n` is left at the candidate taken: a caller that knows
// the earlier candidates to be taken need not test them again.
std::wstring SubtitleTargetPath(const std::wstring& videoFolder, const std::wstring& videoFileName,
                                const std::wstring& entryName, FileOperations& files,
                                unsigned long long& n);

// Unpacks workingFolder + "subtitles.zip" into a folder of its own, made new
// inside the working folder for this call, and copies each subtitle file
// beside the video under the video's name, a poster (".jpg") under its own
// name when that name is free, and no Internet shortcut (".url"); a copy
// never replaces a file. Then removes its own folder with everything in it
// and deletes the archive: nothing else in the working folder is written or
// deleted. Closes and clears the archive stream and leaves the current
// directory at the working folder. Folders end in a separator. Shows the
// write-permission message for files that could not be placed, at most
// kMaxPlacingMessages times; never fails.
void PlaceSubtitleFiles(const std::wstring& workingFolder, const std::wstring& videoFolder,
                        const std::wstring& videoFileName,
                        std::unique_ptr<ArchiveStream>& archiveStream, FileOperations& files,
                        PlacingMessages& messages);
