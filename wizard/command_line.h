#pragma once

#include <string>
#include <vector>

// Splits a Windows command line into arguments: runs of characters with
// codes 1 to 32 separate arguments, a double quote opens or closes a quoted
// stretch in which they do not, and the quotes themselves are dropped.
// Backslashes have no special meaning. The first element is the program name.
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);

// Argument `index` of a split command line (0 is the program name), or the
// empty text when the command line has fewer arguments.
std::wstring ArgumentOrEmpty(const std::vector<std::wstring>& arguments, size_t index);
