#include "command_line.h"

namespace {

bool IsSeparator(wchar_t c) { return c >= 1 && c <= 32; }

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine) {
  std::vector<std::wstring> arguments;
  size_t i = 0;
  const size_t n = commandLine.size();
  while (true) {
    while (i < n && IsSeparator(commandLine[i])) ++i;
    if (i >= n || commandLine[i] == L'\0') break;
    std::wstring argument;
    bool quoted = false;
    for (; i < n && commandLine[i] != L'\0'; ++i) {
      const wchar_t c = commandLine[i];
      if (c == L'"') {
        quoted = !quoted;
      } else if (!quoted && IsSeparator(c)) {
        break;
      } else {
        argument.push_back(c);
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

std::wstring ArgumentOrEmpty(const std::vector<std::wstring>& arguments, size_t index) {
  return index < arguments.size() ? arguments[index] : std::wstring();
}
