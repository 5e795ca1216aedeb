#pragma once

#include <memory>
#include <string>

#include "file_operations.h"

// The archive every download writes into the working folder.
inline constexpr wchar_t kArchiveFileName[] = L"subtitles.zip";

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

// The first of videoFolder + base + extension, then base + "(1)" +
// extension, "(2)" ... at which no file exists.
std::wstring SubtitleTargetPath(const std::wstring& videoFolder, const std::wstring& videoFileName,
                                const std::wstring& entryName, FileOperations& files);

// Unpacks workingFolder + "subtitles.zip" into the working folder and copies
// each subtitle file beside the video under the video's name (never over an
// existing file), a poster (".jpg") under its own name when that name is
// free, and no Internet shortcut (".url"). Closes and clears the archive
// stream, deletes the extracted files and the archive, and leaves the
// current directory at the working folder. Folders end in a separator.
// Shows one message per file that could not be placed; never fails.
void PlaceSubtitleFiles(const std::wstring& workingFolder, const std::wstring& videoFolder,
                        const std::wstring& videoFileName,
                        std::unique_ptr<ArchiveStream>& archiveStream, FileOperations& files,
                        PlacingMessages& messages);
