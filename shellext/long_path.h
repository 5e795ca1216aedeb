#pragma once

#include <cstddef>
#include <string>

// Paths of this many UTF-16 units or more do not fit the platform's classic
// path buffer (260 units with the terminating null) and are refused by file
// functions unless given in the extended-length form.
inline constexpr std::size_t kClassicPathLimit = 260;

// The form in which a full path is handed to the file functions: a path of
// kClassicPathLimit units or more becomes "\\?\C:\..." (drive paths) or
// "\\?\UNC\server\share\..." (network paths), with any "/" written as "\",
// since the extended form is passed on without normalisation. Shorter paths,
// paths already in a device or extended form, and paths that are not full
// (relative or rooted without a drive) stay as they are.
std::wstring ExtendedLengthPath(const std::wstring& path);
