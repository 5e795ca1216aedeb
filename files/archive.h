#pragma once

#include <cstdint>
#include <string>

#include "file_operations.h"

// Reads a ZIP archive with minizip and writes its entries under a base
// folder: the process's current directory when the archive is opened.

// Result codes of the archive operations (0 is success).
enum ArchiveResult : uint32_t {
  kArchiveOk = 0,
  kArchiveCannotOpen = 0x200,      // archive or target file not opened/created, not a ZIP archive
  kArchiveWriteFailed = 0x400,     // writing the target file failed
  kArchiveBadHeader = 0x700,       // local header disagrees, or method neither stored nor deflate
  kArchiveReadFailed = 0x800,      // positioning in or reading from the archive failed
  kArchivePassword = 0x1000,       // an encrypted entry (this reader does not decrypt)
  kArchiveBadArguments = 0x10000,  // null handle or index out of range
  kArchiveDataFailed = 0x5000000,  // inflating the data or reading it to its end failed
};

// Bounds on what one archive may make the reader do. Real subtitle archives
// hold a few text files of some hundred kilobytes and perhaps a poster.
// An entry's stored name may take at most this many bytes: three UTF-8 bytes
// per unit of the longest name a Windows path can hold (259 units).
inline constexpr size_t kMaxStoredNameBytes = 3 * 259;
// An entry larger than this (as the archive declares it) is not extracted.
inline constexpr uint64_t kMaxEntryBytes = 16u << 20;
// All extractions from one open archive together write at most this much;
// an entry that would pass it is not extracted.
inline constexpr uint64_t kMaxExtractedBytes = 64u << 20;

// One entry as GetArchiveEntry reports it.
struct ArchiveEntry {
  int32_t index = 0;  // the entry's position; for index -1, the entry count
  std::wstring name;  // decoded and relative, at most 259 units
  uint32_t attributes = 0;
  int64_t accessTime = 0;  // 100-nanosecond intervals since 1601-01-01 UTC
  int64_t creationTime = 0;
  int64_t modificationTime = 0;
  int32_t compressedSize = 0;
  int32_t uncompressedSize = 0;
};

class TUnzip;
using ArchiveHandle = TUnzip*;  // null: an archive that was not opened

// Opens the archive at `path`; the base folder is the current directory now.
// `password` may be null (this program never gives one). Null on failure.
ArchiveHandle OpenArchive(const std::wstring& path, const char* password = nullptr);
// The same over the given file system (tests inject failures through it).
ArchiveHandle OpenArchive(const std::wstring& path, const char* password, FileOperations& files);

// Index -1 gives the entry count in `entry.index`; 0 ... count - 1 one entry.
uint32_t GetArchiveEntry(ArchiveHandle handle, int32_t index, ArchiveEntry& entry);

// Writes entry `index` to `targetName` (relative names lie under the base
// folder), or creates the folder of a directory entry. Names that would
// leave the base folder, reach a device or a stream, or exceed the Windows
// path length are refused with kArchiveCannotOpen and nothing is written;
// so is an entry past kMaxEntryBytes or kMaxExtractedBytes.
uint32_t ExtractArchiveEntry(ArchiveHandle handle, int32_t index, const std::wstring& targetName);

// True when an extraction with this result created the target file (or the
// folder of a directory entry), whatever it then managed to write into it.
bool ExtractionCreatedTarget(uint32_t result);

// False once stepping through the central directory has failed before
// entry `index`: neither it nor any later entry can be reached. An entry
// that fails on its own (its local header, its name) is still reachable.
bool ArchiveEntryReachable(ArchiveHandle handle, int32_t index);

// Closes the archive; the handle is invalid afterwards.
uint32_t CloseArchive(ArchiveHandle handle);
