// The file operations of the Windows build: the Win32 file API with UTF-16
// paths, and minizip reading through its wide-path Win32 I/O.
#include <windows.h>

// iowin32.h needs the declarations of unzip.h (and zlib.h) first.
#include <unzip.h>

#include <iowin32.h>

#include "file_operations.h"
#include "unique_resource.h"

namespace {

FILETIME ToFileTime(int64_t value) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(value) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(value) >> 32);
  return ft;
}

bool WriteAll(HANDLE file, const char* data, size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

class Win32OutputFile : public OutputFile {
 public:
  explicit Win32OutputFile(UniqueFile file) : file_(std::move(file)) {}
  bool Write(const char* data, size_t size) override { return WriteAll(file_.get(), data, size); }
  bool SetTimes(int64_t creation, int64_t access, int64_t modification) override {
    const FILETIME c = ToFileTime(creation), a = ToFileTime(access), m = ToFileTime(modification);
    return SetFileTime(file_.get(), &c, &a, &m) != FALSE;
  }

 private:
  UniqueFile file_;
};

class Win32ArchiveStream : public ArchiveStream {
 public:
  explicit Win32ArchiveStream(UniqueFile file) : file_(std::move(file)) {}
  bool Write(const char* data, size_t size) override {
    return file_ && WriteAll(file_.get(), data, size);
  }
  void Close() override { file_.reset(); }
  bool IsOpen() const override { return static_cast<bool>(file_); }

 private:
  UniqueFile file_;
};

class Win32FileOperations : public FileOperations {
 public:
  std::wstring CurrentFolder() override {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, buffer);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(buffer, length);
  }
  bool ChangeCurrentFolder(const std::wstring& path) override {
    return SetCurrentDirectoryW(path.c_str()) != FALSE;
  }
  bool IsFile(const std::wstring& path) override {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  bool Exists(const std::wstring& path) override {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  bool MakeFolder(const std::wstring& path) override {
    return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
  }
  bool CopyNew(const std::wstring& from, const std::wstring& to) override {
    return CopyFileW(from.c_str(), to.c_str(), TRUE) != FALSE;
  }
  bool RemoveFile(const std::wstring& path) override {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return false;
    }
    // An extracted read-only file is ours to delete as well.
    if (attributes & FILE_ATTRIBUTE_READONLY) {
      const DWORD writable = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
      SetFileAttributesW(path.c_str(), writable ? writable : FILE_ATTRIBUTE_NORMAL);
    }
    if (DeleteFileW(path.c_str())) return true;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), attributes);
    return false;
  }
  bool RemoveFolderTree(const std::wstring& path) override {
    std::wstring folder = path;
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    if (folder.empty()) return false;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring item = folder + L"\\" + name;
        const DWORD attributes = found.dwFileAttributes;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
          RemoveFile(item);
        } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
          RemoveDirectoryW(item.c_str());  // the link only, not where it points
        } else {
          RemoveFolderTree(item);
        }
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    return RemoveDirectoryW(folder.c_str()) != FALSE;
  }
  std::unique_ptr<OutputFile> CreateOutput(const std::wstring& path, uint32_t attributes) override {
    DWORD flags = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    if (flags == 0) flags = FILE_ATTRIBUTE_NORMAL;
    // Windows refuses to replace a read-only file; Wine run by the superuser
    // would not, so the rule is kept here for both.
    const DWORD existing = GetFileAttributesW(path.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY)) return nullptr;
    UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, flags, nullptr));
    if (!file) return nullptr;
    return std::make_unique<Win32OutputFile>(std::move(file));
  }
  std::unique_ptr<ArchiveStream> CreateArchiveStream(const std::wstring& path) override {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return std::make_unique<Win32ArchiveStream>(std::move(file));
  }
  void* OpenZipReader(const std::wstring& path) override {
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    return unzOpen2_64(path.c_str(), &io);
  }
  bool LocalTimeToUtc(const CalendarTime& local, int64_t& fileTime) override {
    SYSTEMTIME localTime{};
    localTime.wYear = static_cast<WORD>(local.year);
    localTime.wMonth = static_cast<WORD>(local.month);
    localTime.wDay = static_cast<WORD>(local.day);
    localTime.wHour = static_cast<WORD>(local.hour);
    localTime.wMinute = static_cast<WORD>(local.minute);
    localTime.wSecond = static_cast<WORD>(local.second);
    SYSTEMTIME utc;
    FILETIME ft;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &localTime, &utc) ||
        !SystemTimeToFileTime(&utc, &ft)) {
      return false;
    }
    fileTime =
        static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    return true;
  }
};

}  // namespace

FileOperations& PlatformFileOperations() {
  static Win32FileOperations operations;
  return operations;
}
