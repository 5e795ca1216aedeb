#include "long_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A path of `total` units: `head`, then "a" up to the last, then "v".
std::wstring PathOfLength(const std::wstring& head, std::size_t total) {
  std::wstring path = head;
  path.resize(total - 1, L'a');
  return path + L'v';
}

}  // namespace

TEST(ExtendedLengthPath, LongFullPathsTakeTheExtendedForm) {
  const std::wstring drive = PathOfLength(L"C:\\Films\\", kClassicPathLimit);
  const std::wstring unc = PathOfLength(L"\\\\server\\share\\", 300);
  const std::wstring slashes = PathOfLength(L"D:/Films/Serie/", 400);
  const std::wstring slashesDone = PathOfLength(L"D:\\Films\\Serie\\", 400);
  const std::wstring extended = L"\\\\?\\" + drive;
  const std::wstring device = PathOfLength(L"\\\\.\\C:\\Films\\", 300);
  const std::wstring nt = PathOfLength(L"\\??\\C:\\Films\\", 300);
  const std::wstring relative = PathOfLength(L"Films\\", 300);
  const std::wstring rooted = PathOfLength(L"\\Films\\", 300);
  const std::wstring driveRelative = PathOfLength(L"C:Films\\", 300);
  const struct {
    std::wstring path, opened;
  } cases[] = {
      {drive, L"\\\\?\\" + drive},
      {unc, L"\\\\?\\UNC\\" + unc.substr(2)},
      {slashes, L"\\\\?\\" + slashesDone},
      {extended, extended},
      {device, device},
      {nt, nt},
      // Not full paths: the extended form would need the current folder.
      {relative, relative},
      {rooted, rooted},
      {driveRelative, driveRelative},
      // Below the limit nothing changes, slashes included.
      {PathOfLength(L"C:\\Films\\", kClassicPathLimit - 1),
       PathOfLength(L"C:\\Films\\", kClassicPathLimit - 1)},
      {L"D:/Films/x.avi", L"D:/Films/x.avi"},
      {L"\\\\server\\share\\x.avi", L"\\\\server\\share\\x.avi"},
      {L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtendedLengthPath(c.path), c.opened) << c.path.size();
  }
}
