#include "http_address.h"

#include <algorithm>
#include <cctype>

namespace {

// Length of "scheme:" when `text` starts with a scheme, else 0.
size_t SchemeLength(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) ||
                             text[i] == '+' || text[i] == '-' || text[i] == '.')) {
    ++i;
  }
  return i > 0 && i < text.size() && text[i] == ':' && std::isalpha(static_cast<unsigned char>(text[0]))
             ? i + 1
             : 0;
}

}  // namespace

std::string ResolveAddress(const std::string& base, const std::string& location) {
  if (SchemeLength(location) > 0) return location;
  const size_t scheme = SchemeLength(base);
  if (location.compare(0, 2, "//") == 0) return base.substr(0, scheme) + location;

  // "scheme://host:port" of the base, and its path without query or fragment.
  const size_t hostStart = base.compare(scheme, 2, "//") == 0 ? scheme + 2 : scheme;
  const size_t pathStart = std::min(base.find_first_of("/?#", hostStart), base.size());
  const std::string origin = base.substr(0, pathStart);
  if (!location.empty() && location[0] == '/') return origin + location;

  std::string path = base.substr(pathStart, base.find_first_of("?#", pathStart) - pathStart);
  if (location.empty()) return origin + (path.empty() ? "/" : path);
  if (location[0] == '?' || location[0] == '#') return origin + (path.empty() ? "/" : path) + location;
  const size_t folderEnd = path.rfind('/');
  const std::string folder = folderEnd == std::string::npos ? "/" : path.substr(0, folderEnd + 1);
  return origin + folder + location;
}
