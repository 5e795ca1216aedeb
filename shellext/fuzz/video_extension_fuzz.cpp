// Fuzz target: arbitrary bytes as a path Explorer hands over, two bytes a
// UTF-16 unit (little-endian). Checks that the menu is offered exactly for
// a table extension after the last dot (units cut to 8 bits, A-Z folded),
// and that the rule does not depend on what it must ignore:
// - the high byte of each unit and the letter case of A-Z;
// - a folder part: a separator after the last dot makes it no video;
// - any path becomes a video with ".AVI" appended.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "video_extensions.h"

namespace {

void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "does not hold: %s\n", what);
    std::abort();
  }
}

// The extension after the last dot of the 8-bit form, or nothing.
bool ExtensionOf(const std::wstring& path, std::string& extension) {
  std::string narrow;
  for (wchar_t unit : path) narrow += static_cast<char>(static_cast<uint32_t>(unit) & 0xFF);
  const size_t dot = narrow.rfind('.');
  if (dot == std::string::npos) return false;
  extension = narrow.substr(dot + 1);
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::set<std::string> table(VideoExtensions.begin(), VideoExtensions.end());
  Require(table.size() == kVideoExtensionCount, "no extension listed twice");

  std::wstring path;
  for (size_t i = 0; i + 1 < size; i += 2) {
    path += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  }
  const bool video = HasVideoExtension(path);
  std::string extension;
  Require(video == (ExtensionOf(path, extension) && table.count(Lower(extension)) > 0),
          "a video exactly when the extension is in the table");

  std::wstring other = path;
  for (wchar_t& unit : other) {
    const wchar_t low = unit & 0xFF;
    unit = static_cast<wchar_t>(((low >= L'a' && low <= L'z') ? low - 32 : low) | 0x4100);
  }
  Require(HasVideoExtension(other) == video, "high bytes and letter case do not count");
  Require(!HasVideoExtension(path + L".avi\\movie") && !HasVideoExtension(path + L".avi/x"),
          "a dot in a folder name makes no video");
  Require(HasVideoExtension(path + L".AVI"), "\".AVI\" makes a video");
  return 0;
}
