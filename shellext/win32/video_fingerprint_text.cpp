#include "video_fingerprint_text.h"

#include "code_page.h"
#include "long_path.h"
#include "unique_resource.h"
#include "video_fingerprint.h"

namespace {

constexpr UINT kWesternCodePage = 1252;

class FileSource : public FingerprintSource {
 public:
  explicit FileSource(HANDLE file) : file_(file) {}

  bool Size(uint64_t& size) override {
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(file_, LARGE_INTEGER{}, &end, FILE_END)) return false;
    size = static_cast<uint64_t>(end.QuadPart);
    return true;
  }

  bool SeekTo(uint64_t offset) override {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file_, to, nullptr, FILE_BEGIN) != FALSE;
  }

  size_t Read(unsigned char* buffer, size_t count) override {
    size_t total = 0;
    while (total < count) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(count - total);
      if (!ReadFile(file_, buffer + total, want, &got, nullptr) || got == 0) break;
      total += got;
    }
    return total;
  }

 private:
  HANDLE file_;  // owned by the caller
};

}  // namespace

std::string VideoFingerprintText(HWND owner, const std::wstring& path,
                                 MessageBoxAFunction showMessage, CreateFileWFunction openFile) {
  UniqueFile file(openFile(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    if (!showMessage) return {};
    // The same words whatever the reason, in the 8-bit message box.
    const std::string text =
        WideToCodePage(L"El archivo está siendo utilizado por otro proceso", kWesternCodePage);
    const std::string caption = WideToCodePage(L"Subtítulos", kWesternCodePage);
    showMessage(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
    return {};
  }
  FileSource source(file.get());
  return FormatFingerprintText(ComputeVideoFingerprint(source));
}
