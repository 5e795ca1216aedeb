#include "long_path.h"

namespace {

bool IsSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

bool IsDriveLetter(wchar_t unit) {
  return (unit >= L'A' && unit <= L'Z') || (unit >= L'a' && unit <= L'z');
}

std::wstring WithBackslashes(std::wstring path) {
  for (wchar_t& unit : path) {
    if (unit == L'/') unit = L'\\';
  }
  return path;
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path) {
  if (path.size() < kClassicPathLimit) return path;
  // "\\?\", "\\.\" and "\??\": already a form the file functions take as is.
  if (path.size() >= 4 && IsSeparator(path[0]) && (path[2] == L'?' || path[2] == L'.') &&
      IsSeparator(path[3]) && (IsSeparator(path[1]) || path[1] == L'?')) {
    return path;
  }
  if (IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) {
    return L"\\\\?\\" + WithBackslashes(path);
  }
  if (IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2])) {
    return L"\\\\?\\UNC\\" + WithBackslashes(path.substr(2));
  }
  return path;
}
