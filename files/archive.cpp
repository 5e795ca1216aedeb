#include "archive.h"

#include <unzip.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include "archive_names.h"

namespace {

constexpr size_t kExtractionBufferSize = 16384;

}  // namespace

// One open archive: the minizip reader, where it stands, the base folder and
// the entry read last.
class TUnzip {
 public:
  TUnzip(FileOperations& files, unzFile zip, std::wstring baseFolder, int32_t count)
      : files_(files), zip_(zip), baseFolder_(std::move(baseFolder)), count_(count) {}
  ~TUnzip() {
    CloseEntryData();
    unzClose(zip_);
  }
  TUnzip(const TUnzip&) = delete;
  TUnzip& operator=(const TUnzip&) = delete;

  void SetPassword(const char* password) {
    if (password) password_ = std::make_unique<std::string>(password);
  }

  uint32_t GetEntry(int32_t index, ArchiveEntry& entry);
  uint32_t Extract(int32_t index, const std::wstring& targetName);
  bool Reachable(int32_t index) const { return index >= 0 && index < unreachableFrom_; }

 private:
  void CloseEntryData() {
    if (entryOpen_) unzCloseCurrentFile(zip_);
    entryOpen_ = false;
  }
  uint32_t MoveTo(int32_t index);
  uint32_t ReadCurrentEntry(int32_t index, ArchiveEntry& entry);
  void MakeFolderChain(const std::wstring& base, const std::wstring& folder);
  uint32_t WriteEntryData(OutputFile& out, uint64_t allowed);

  FileOperations& files_;
  unzFile zip_;
  std::wstring baseFolder_;  // ends in a separator
  int32_t count_;
  std::unique_ptr<std::string> password_;  // kept for the caller; entries are never decrypted
  std::unique_ptr<char[]> buffer_;         // the extraction buffer, made at the first extraction
  bool entryOpen_ = false;
  int32_t position_ = -1;                // minizip's current entry; -1: start from the first
  int32_t unreachableFrom_ = INT32_MAX;  // stepping forward failed here: this and later fail
  ArchiveEntry lastEntry_;
  int32_t lastIndex_ = -1;
  bool lastEncrypted_ = false;
  uint64_t lastSize_ = 0;  // the last entry's uncompressed size, all 64 bits
  uint64_t extracted_ = 0;  // bytes written by all extractions so far
};

uint32_t TUnzip::MoveTo(int32_t index) {
  if (index >= unreachableFrom_) return kArchiveReadFailed;
  if (position_ < 0 || index < position_) {
    if (unzGoToFirstFile(zip_) != UNZ_OK) {
      position_ = -1;
      unreachableFrom_ = 0;
      return kArchiveReadFailed;
    }
    position_ = 0;
  }
  while (position_ < index) {
    if (unzGoToNextFile(zip_) != UNZ_OK) {
      // A damaged central directory record: nothing after it can be found.
      unreachableFrom_ = position_ + 1;
      position_ = -1;
      return kArchiveReadFailed;
    }
    ++position_;
  }
  return kArchiveOk;
}

uint32_t TUnzip::ReadCurrentEntry(int32_t index, ArchiveEntry& entry) {
  unz_file_info64 info{};
  if (unzGetCurrentFileInfo64(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return kArchiveReadFailed;
  }
  // Refused before it is read or decoded: no longer name can fit a path.
  if (info.size_filename > kMaxStoredNameBytes) return kArchiveCannotOpen;
  std::string storedName(info.size_filename, '\0');
  if (!storedName.empty() &&
      unzGetCurrentFileInfo64(zip_, &info, &storedName[0], static_cast<uLong>(storedName.size()),
                              nullptr, 0, nullptr, 0) != UNZ_OK) {
    return kArchiveReadFailed;
  }
  if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) {
    return kArchiveBadHeader;
  }

  // Opening the entry raw makes minizip check its local header against the
  // central directory; the local extra field is read while it is open.
  const int opened = unzOpenCurrentFile2(zip_, nullptr, nullptr, 1);
  if (opened == UNZ_BADZIPFILE) return kArchiveBadHeader;
  if (opened != UNZ_OK) return kArchiveReadFailed;
  entryOpen_ = true;
  const int extraSize = unzGetLocalExtrafield(zip_, nullptr, 0);
  std::vector<unsigned char> extra(extraSize > 0 ? static_cast<size_t>(extraSize) : 0);
  if (extraSize < 0 ||
      (extraSize > 0 &&
       unzGetLocalExtrafield(zip_, extra.data(), static_cast<unsigned>(extraSize)) != extraSize)) {
    CloseEntryData();
    return kArchiveReadFailed;
  }
  CloseEntryData();

  std::wstring name = MakeRelativeName(DecodeEntryName(storedName));
  if (name.size() > kMaxPathLength) return kArchiveCannotOpen;

  ArchiveEntry result;
  result.index = index;
  result.name = std::move(name);
  result.attributes = AttributesFromHost(static_cast<uint16_t>(info.version),
                                         static_cast<uint32_t>(info.external_fa));
  result.compressedSize = static_cast<int32_t>(static_cast<uint32_t>(info.compressed_size));
  result.uncompressedSize = static_cast<int32_t>(static_cast<uint32_t>(info.uncompressed_size));

  int64_t dosTime = kInvalidDosFileTime;
  if (auto local = DosDateTimeToCalendar(static_cast<uint32_t>(info.dosDate))) {
    if (!files_.LocalTimeToUtc(*local, dosTime)) dosTime = kInvalidDosFileTime;
  }
  const ExtendedTimes extended = ReadExtendedTimes(extra.data(), extra.size());
  result.modificationTime = extended.modification.value_or(dosTime);
  result.accessTime = extended.access.value_or(dosTime);
  result.creationTime = extended.creation.value_or(dosTime);

  lastEntry_ = result;
  lastIndex_ = index;
  lastEncrypted_ = (info.flag & 1) != 0;
  lastSize_ = info.uncompressed_size;
  entry = std::move(result);
  return kArchiveOk;
}

uint32_t TUnzip::GetEntry(int32_t index, ArchiveEntry& entry) {
  entry.index = 0;
  entry.name.clear();
  entry.uncompressedSize = 0;
  if (index < -1 || index >= count_) return kArchiveBadArguments;
  CloseEntryData();
  if (index != -1 && index == lastIndex_) {
    entry = lastEntry_;
    return kArchiveOk;
  }
  if (index == -1) {
    entry = ArchiveEntry{};
    entry.index = count_;
    return kArchiveOk;
  }
  if (const uint32_t moved = MoveTo(index)) return moved;
  return ReadCurrentEntry(index, entry);
}

void TUnzip::MakeFolderChain(const std::wstring& base, const std::wstring& folder) {
  if (!base.empty()) {
    std::wstring bare = base;
    if (IsSeparator(bare.back())) bare.pop_back();
    if (!bare.empty() && !files_.Exists(bare)) files_.MakeFolder(bare);
  }
  // Each folder along the text, outermost first; failures are left to the
  // file creation that follows.
  for (size_t i = 1; i < folder.size(); ++i) {
    if (IsSeparator(folder[i]) && !IsSeparator(folder[i - 1])) {
      const std::wstring path = base + folder.substr(0, i);
      if (!files_.Exists(path)) files_.MakeFolder(path);
    }
  }
  if (!folder.empty()) {
    const std::wstring path = base + folder;
    if (!files_.Exists(path)) files_.MakeFolder(path);
  }
}

// Writes the current entry's data; `allowed` bounds what may be written, in
// case the data runs longer than the size the archive declares.
uint32_t TUnzip::WriteEntryData(OutputFile& out, uint64_t allowed) {
  if (lastEncrypted_) return kArchivePassword;
  if (unzOpenCurrentFile(zip_) != UNZ_OK) return kArchiveDataFailed;
  entryOpen_ = true;
  if (!buffer_) buffer_ = std::make_unique<char[]>(kExtractionBufferSize);
  uint32_t result = kArchiveOk;
  for (;;) {
    const int got = unzReadCurrentFile(zip_, buffer_.get(), kExtractionBufferSize);
    if (got < 0) {
      result = kArchiveDataFailed;
      break;
    }
    if (static_cast<uint64_t>(got) > allowed) {
      result = kArchiveWriteFailed;
      break;
    }
    if (got > 0 && !out.Write(buffer_.get(), static_cast<size_t>(got))) {
      result = kArchiveWriteFailed;
      break;
    }
    allowed -= static_cast<uint64_t>(got);
    extracted_ += static_cast<uint64_t>(got);
    if (unzeof(zip_) == 1) break;
    if (got == 0) {
      result = kArchiveDataFailed;
      break;
    }
  }
  // A CRC mismatch reported on closing does not change the result.
  CloseEntryData();
  return result;
}

uint32_t TUnzip::Extract(int32_t index, const std::wstring& targetName) {
  CloseEntryData();
  if (index < 0 || index >= count_) return kArchiveBadArguments;
  if (const uint32_t moved = MoveTo(index)) return moved;
  ArchiveEntry entry;
  if (const uint32_t read = GetEntry(index, entry)) return read;

  size_t split = targetName.find_last_of(L"\\/");
  split = (split == std::wstring::npos) ? 0 : split + 1;
  const std::wstring folderPart = targetName.substr(0, split);
  const std::wstring filePart = targetName.substr(split);
  const bool absolute = IsAbsoluteName(folderPart);
  if (absolute ? !IsWritableAbsoluteName(targetName)
               : (!IsContainedName(targetName) ||
                  baseFolder_.size() + targetName.size() > kMaxPathLength)) {
    return kArchiveCannotOpen;
  }
  const std::wstring base = absolute ? std::wstring() : baseFolder_;

  if (entry.attributes & kAttributeDirectory) {
    MakeFolderChain(base, targetName);
    return kArchiveOk;
  }
  const uint64_t allowed = std::min(kMaxEntryBytes, kMaxExtractedBytes - extracted_);
  if (lastSize_ > allowed) return kArchiveCannotOpen;
  MakeFolderChain(base, folderPart);
  std::unique_ptr<OutputFile> out = files_.CreateOutput(
      base + folderPart + filePart, entry.attributes & (kAttributeReadOnly | kAttributeHidden |
                                                        kAttributeSystem | kAttributeArchive));
  if (!out) return kArchiveCannotOpen;
  const uint32_t result = WriteEntryData(*out, allowed);
  if (result == kArchiveOk) {
    out->SetTimes(entry.creationTime, entry.accessTime, entry.modificationTime);
  }
  return result;
}

ArchiveHandle OpenArchive(const std::wstring& path, const char* password) {
  return OpenArchive(path, password, PlatformFileOperations());
}

ArchiveHandle OpenArchive(const std::wstring& path, const char* password, FileOperations& files) {
  try {
    std::wstring base = files.CurrentFolder();
    // Without a readable current directory there is no base folder to keep
    // the entries in.
    if (base.empty() || base.size() > kMaxPathLength) return nullptr;
    if (!IsSeparator(base.back())) base += L'/';
    unzFile zip = files.OpenZipReader(path);
    if (!zip) return nullptr;
    unz_global_info64 info{};
    if (unzGetGlobalInfo64(zip, &info) != UNZ_OK) {
      unzClose(zip);
      return nullptr;
    }
    const int32_t count = info.number_entry > static_cast<ZPOS64_T>(INT32_MAX)
                              ? INT32_MAX
                              : static_cast<int32_t>(info.number_entry);
    auto* archive = new TUnzip(files, zip, std::move(base), count);
    archive->SetPassword(password);
    return archive;
  } catch (...) {
    return nullptr;
  }
}

uint32_t GetArchiveEntry(ArchiveHandle handle, int32_t index, ArchiveEntry& entry) {
  if (!handle) {
    entry.index = 0;
    entry.name.clear();
    entry.uncompressedSize = 0;
    return kArchiveBadArguments;
  }
  try {
    return handle->GetEntry(index, entry);
  } catch (...) {
    return kArchiveReadFailed;
  }
}

uint32_t ExtractArchiveEntry(ArchiveHandle handle, int32_t index, const std::wstring& targetName) {
  if (!handle) return kArchiveBadArguments;
  try {
    return handle->Extract(index, targetName);
  } catch (...) {
    return kArchiveWriteFailed;
  }
}

bool ExtractionCreatedTarget(uint32_t result) {
  return result == kArchiveOk || result == kArchiveWriteFailed || result == kArchivePassword ||
         result == kArchiveDataFailed;
}

bool ArchiveEntryReachable(ArchiveHandle handle, int32_t index) {
  return handle && handle->Reachable(index);
}

uint32_t CloseArchive(ArchiveHandle handle) {
  if (!handle) return kArchiveBadArguments;
  delete handle;
  return kArchiveOk;
}
