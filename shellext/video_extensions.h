#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// Extensions (lower case, without the dot) for which the context menu offers
// its commands, searched from the first entry to the last.
inline constexpr std::size_t kVideoExtensionCount = 77;
extern const std::array<std::string_view, kVideoExtensionCount> VideoExtensions;

// True when the text after the last "." of `path` is one of VideoExtensions.
// Each UTF-16 unit is cut to its low 8 bits and only A-Z are folded to lower
// case; the dot may lie in a folder name, so "C:\Films.avi\readme" has the
// extension "avi\readme" and is no video.
bool HasVideoExtension(const std::wstring& path);
