#include "video_fingerprint_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "temp_folder.h"
#include "unique_resource.h"

namespace {

struct ShownMessage {
  HWND owner;
  std::string text, caption;
  UINT flags;
};
std::vector<ShownMessage> shown;

int WINAPI RecordMessage(HWND owner, LPCSTR text, LPCSTR caption, UINT flags) {
  shown.push_back({owner, text, caption, flags});
  return IDOK;
}

class VideoFingerprintTextTest : public ::testing::Test {
 protected:
  void SetUp() override { shown.clear(); }
  TempFolder folder;
};

TEST_F(VideoFingerprintTextTest, FingerprintsAFileOthersHoldOpen) {
  std::string bytes(8, '\0');
  bytes[0] = 1;
  const std::wstring path = folder.Write(L"película.avi", bytes).wstring();

  // Held by a writer that shares reading only: our read-only, share-all open
  // is compatible with it.
  UniqueFile writer(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(writer);
  EXPECT_EQ(VideoFingerprintText(nullptr, path, RecordMessage), "0000000000000009");
  EXPECT_TRUE(shown.empty());
}

TEST_F(VideoFingerprintTextTest, RefusedOpensShowTheMessageAndGiveNoText) {
  const std::wstring locked = folder.Write(L"locked.avi", "12345678").wstring();
  UniqueFile exclusive(
      CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(exclusive);
  const std::wstring missing = (folder.path() / L"missing.avi").wstring();

  const HWND owner = reinterpret_cast<HWND>(0x1234);
  for (const std::wstring& path : {locked, missing}) {
    shown.clear();
    EXPECT_EQ(VideoFingerprintText(owner, path, RecordMessage), "");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, owner);
    EXPECT_EQ(shown[0].text, "El archivo est\xE1 siendo utilizado por otro proceso");
    EXPECT_EQ(shown[0].caption, "Subt\xEDtulos");
    EXPECT_EQ(shown[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
  }
}

TEST_F(VideoFingerprintTextTest, LargeFilesReadOnlyTheirTwoWindows) {
  // 1 MiB of 0x01 with a different tail: only the last 64 KiB of it count.
  std::string bytes(1 << 20, '\x01');
  std::fill(bytes.end() - 65536, bytes.end(), '\x02');
  const std::wstring path = folder.Write(L"big.mkv", bytes).wstring();
  // size 0x100000 + 8192 words of 0x0101... + 8192 words of 0x0202...
  EXPECT_EQ(VideoFingerprintText(nullptr, path, RecordMessage), "6060606060706000");
}

std::vector<std::wstring> opened;  // the paths CreateFileW was given

HANDLE WINAPI RecordOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                         DWORD disposition, DWORD flags, HANDLE templateFile) {
  opened.push_back(path);
  return CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

TEST_F(VideoFingerprintTextTest, LongPathsAreOpenedInTheirExtendedForm) {
  // Wine opens long paths in either form; the path handed to CreateFileW
  // shows which one a Windows without the long-path opt-in would be given.
  std::filesystem::path deep = folder.path();
  for (int i = 0; i < 3; ++i) deep /= std::wstring(90, static_cast<wchar_t>(L'a' + i));
  std::filesystem::create_directories(deep);
  std::string bytes(8, '\0');
  bytes[0] = 1;
  const std::wstring longPath = folder.Write(deep / L"clip.mkv", bytes).wstring();
  ASSERT_GE(longPath.size(), 260u);
  const std::wstring shortPath = folder.Write(L"clip.mkv", bytes).wstring();
  ASSERT_LT(shortPath.size(), 260u);

  opened.clear();
  EXPECT_EQ(VideoFingerprintText(nullptr, longPath, RecordMessage, RecordOpen), "0000000000000009");
  EXPECT_EQ(VideoFingerprintText(nullptr, shortPath, RecordMessage, RecordOpen), "0000000000000009");
  EXPECT_EQ(opened, (std::vector<std::wstring>{L"\\\\?\\" + longPath, shortPath}));
  EXPECT_TRUE(shown.empty());
}

}  // namespace
