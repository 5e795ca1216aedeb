// The file operations of the native build, for the tests of the portable
// core under the sanitizers. Windows behaviour is followed where the host
// allows: "\" separates folders, a read-only file cannot be replaced, the
// read-only attribute becomes the absence of write permission. Hidden,
// system and archive bits and the creation time have no POSIX counterpart.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <filesystem>
#include <string>

#include "archive_names.h"
#include "file_operations.h"

namespace {

std::string ToHostPath(const std::wstring& path) {
  std::string out;
  for (wchar_t w : path) {
    auto c = static_cast<uint32_t>(w);
    if (c == L'\\') c = '/';
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// A regular file without owner write permission: Windows refuses to replace
// a read-only file, even for an administrator, so the native build does too.
bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR);
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

timespec ToTimespec(int64_t fileTime) {
  const int64_t sinceEpoch = fileTime - 116444736000000000LL;
  int64_t seconds = sinceEpoch / 10000000;
  int64_t rest = sinceEpoch % 10000000;
  if (rest < 0) {
    rest += 10000000;
    --seconds;
  }
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>(rest * 100);
  return ts;
}

class PosixOutputFile : public OutputFile {
 public:
  explicit PosixOutputFile(int fd) : fd_(fd) {}
  ~PosixOutputFile() override { close(fd_); }
  PosixOutputFile(const PosixOutputFile&) = delete;
  PosixOutputFile& operator=(const PosixOutputFile&) = delete;

  bool Write(const char* data, size_t size) override { return WriteAll(fd_, data, size); }
  bool SetTimes(int64_t, int64_t access, int64_t modification) override {
    const timespec times[2] = {ToTimespec(access), ToTimespec(modification)};
    return futimens(fd_, times) == 0;
  }

 private:
  int fd_;
};

class PosixArchiveStream : public ArchiveStream {
 public:
  explicit PosixArchiveStream(int fd) : fd_(fd) {}
  ~PosixArchiveStream() override { Close(); }
  PosixArchiveStream(const PosixArchiveStream&) = delete;
  PosixArchiveStream& operator=(const PosixArchiveStream&) = delete;

  bool Write(const char* data, size_t size) override {
    return fd_ >= 0 && WriteAll(fd_, data, size);
  }
  void Close() override {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  bool IsOpen() const override { return fd_ >= 0; }

 private:
  int fd_;
};

class PosixFileOperations : public FileOperations {
 public:
  std::wstring CurrentFolder() override {
    char buffer[PATH_MAX];
    if (!getcwd(buffer, sizeof buffer)) return {};
    std::wstring folder = DecodeEntryName(buffer);
    if (folder.size() > kMaxPathLength) return {};
    return folder;
  }
  bool ChangeCurrentFolder(const std::wstring& path) override {
    return chdir(ToHostPath(path).c_str()) == 0;
  }
  bool IsFile(const std::wstring& path) override {
    struct stat st {};
    return stat(ToHostPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  bool Exists(const std::wstring& path) override {
    struct stat st {};
    return lstat(ToHostPath(path).c_str(), &st) == 0;
  }
  bool MakeFolder(const std::wstring& path) override {
    return mkdir(ToHostPath(path).c_str(), 0755) == 0;
  }
  bool CopyNew(const std::wstring& from, const std::wstring& to) override {
    const int in = open(ToHostPath(from).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(in);
      return false;
    }
    // O_EXCL: the copy fails rather than replace what appeared at `to`.
    const std::string target = ToHostPath(to);
    const int out =
        open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
      close(in);
      return false;
    }
    bool copied = true;
    char buffer[16384];
    for (;;) {
      const ssize_t n = read(in, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) break;
      if (n < 0 || !WriteAll(out, buffer, static_cast<size_t>(n))) {
        copied = false;
        break;
      }
    }
    close(in);
    if (close(out) != 0) copied = false;
    if (!copied) unlink(target.c_str());  // the half copy is this call's own file
    return copied;
  }
  bool RemoveFile(const std::wstring& path) override {
    const std::string host = ToHostPath(path);
    struct stat st {};
    if (lstat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return unlink(host.c_str()) == 0;
  }
  bool RemoveFolderTree(const std::wstring& path) override {
    std::error_code error;
    std::filesystem::remove_all(ToHostPath(path), error);  // never follows links
    return !error;
  }
  std::unique_ptr<OutputFile> CreateOutput(const std::wstring& path, uint32_t attributes) override {
    const std::string host = ToHostPath(path);
    if (IsReadOnlyFile(host)) return nullptr;
    const mode_t mode = (attributes & kAttributeReadOnly) ? 0444 : 0644;
    const int fd = open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return nullptr;
    fchmod(fd, mode);
    return std::make_unique<PosixOutputFile>(fd);
  }
  std::unique_ptr<ArchiveStream> CreateArchiveStream(const std::wstring& path) override {
    const int fd = open(ToHostPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixArchiveStream>(fd);
  }
  void* OpenZipReader(const std::wstring& path) override {
    return unzOpen64(ToHostPath(path).c_str());
  }
  bool LocalTimeToUtc(const CalendarTime& local, int64_t& fileTime) override {
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;
    const time_t utc = std::mktime(&tm);
    if (utc == static_cast<time_t>(-1)) return false;
    fileTime = static_cast<int64_t>(utc) * 10000000LL + 116444736000000000LL;
    return true;
  }
};

}  // namespace

FileOperations& PlatformFileOperations() {
  static PosixFileOperations operations;
  return operations;
}
