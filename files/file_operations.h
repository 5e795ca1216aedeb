#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Windows file attribute bits as archive entries and extracted files carry
// them. Values are the platform's own, so the Win32 layer passes them through.
inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeSystem = 0x04;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeArchive = 0x20;

// A civil date and time, fields as people write them (month 1-12).
struct CalendarTime {
  int year = 1980;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// A file being written by the archive reader; closed when the owner goes away.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes all of `size` bytes; false when the file system refused.
  virtual bool Write(const char* data, size_t size) = 0;
  // Times in 100-nanosecond intervals since 1601-01-01 00:00 UTC.
  virtual bool SetTimes(int64_t creation, int64_t access, int64_t modification) = 0;
};

// The downloaded archive ("subtitles.zip") while the download writes it. The
// download leaves it open; placing the subtitle files closes it.
class ArchiveStream {
 public:
  virtual ~ArchiveStream() = default;  // closes the file if still open
  // Appends all of `size` bytes; false when the stream is closed or the file
  // system refused.
  virtual bool Write(const char* data, size_t size) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

// The file system as the archive reader and the placing of subtitle files use
// it. Paths are UTF-16; "\" and "/" both separate folders. Nothing throws.
class FileOperations {
 public:
  virtual ~FileOperations() = default;

  // The process's current directory; empty when it cannot be read or is
  // longer than a Windows path may be.
  virtual std::wstring CurrentFolder() = 0;
  virtual bool ChangeCurrentFolder(const std::wstring& path) = 0;

  virtual bool IsFile(const std::wstring& path) = 0;  // a file, not a folder
  virtual bool Exists(const std::wstring& path) = 0;  // anything at all
  virtual bool MakeFolder(const std::wstring& path) = 0;
  // Copies a file to a new name; fails when anything already exists at `to`
  // (that file or folder is left as it is), and for a folder as `from`.
  virtual bool CopyNew(const std::wstring& from, const std::wstring& to) = 0;
  // Deletes a file (a read-only one too); never deletes a folder.
  virtual bool RemoveFile(const std::wstring& path) = 0;
  // Deletes a folder with everything in it (read-only files too). Links and
  // junctions inside are removed themselves, never followed. False when
  // something is left.
  virtual bool RemoveFolderTree(const std::wstring& path) = 0;

  // Creates the file anew (an existing one is truncated), not shared, with the
  // read-only, hidden, system and archive bits of `attributes`. Null when the
  // file cannot be created, also when an existing file is read-only.
  virtual std::unique_ptr<OutputFile> CreateOutput(const std::wstring& path,
                                                   uint32_t attributes) = 0;
  // Creates the file anew for a download to write into; null on failure.
  virtual std::unique_ptr<ArchiveStream> CreateArchiveStream(const std::wstring& path) = 0;

  // Opens a ZIP archive for reading with minizip (an unzFile); null when the
  // file is missing or is not a ZIP archive. The caller closes it with
  // unzClose. Other openers may read the file meanwhile.
  virtual void* OpenZipReader(const std::wstring& path) = 0;

  // A local time as UTC under the platform's time-zone rules, in
  // 100-nanosecond intervals since 1601-01-01 00:00 UTC.
  virtual bool LocalTimeToUtc(const CalendarTime& local, int64_t& fileTime) = 0;
};

// The file system of the platform the program runs on.
FileOperations& PlatformFileOperations();
