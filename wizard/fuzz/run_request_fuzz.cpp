// Fuzz target: arbitrary bytes as the wizard's command line, two bytes a
// UTF-16 unit (little-endian), split as the program splits it and read
// into the run request. Checks:
// - splitting loses and invents nothing: the arguments hold, in order,
//   every unit of the line before its first zero other than quotes and
//   the separators outside quotes; none holds a quote or a zero;
// - the arguments, each quoted and joined by spaces, split into themselves;
// - the video's folder ends in a backslash, its file name holds no "\" or
//   ":", neither holds a "*", and together they give the path back;
// - the encoded fingerprint is Base64 of the narrowed first argument;
// - the language code is the argument's number when it is a 32-bit one,
//   else 6; the mode word is the narrowed fourth argument.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base64.h"
#include "command_line.h"
#include "run_request.h"
#include "text_forms.h"

namespace {

void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "does not hold: %s\n", what);
    std::abort();
  }
}

bool IsSeparator(wchar_t c) { return c >= 1 && c <= 32; }

void CheckSplit(const std::wstring& line, const std::vector<std::wstring>& arguments) {
  std::wstring kept;
  bool quoted = false;
  for (wchar_t c : line) {
    if (c == L'\0') break;
    if (c == L'"') {
      quoted = !quoted;
    } else if (quoted || !IsSeparator(c)) {
      kept += c;
    }
  }
  std::wstring joined, quotedLine;
  for (const std::wstring& argument : arguments) {
    Require(argument.find_first_of(std::wstring(L"\"\0", 2)) == std::wstring::npos,
            "no quote and no zero in an argument");
    joined += argument;
    quotedLine += L"\"" + argument + L"\" ";
  }
  Require(joined == kept, "splitting loses and invents nothing");
  Require(SplitCommandLine(quotedLine) == arguments, "quoted arguments split into themselves");
}

// The number of a decimal 32-bit text, else 6.
int32_t ExpectedLanguage(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) {
    if (!(c == L'+' || c == L'-' || (c >= L'0' && c <= L'9'))) return 6;
    narrow += static_cast<char>(c);
  }
  const size_t digits = narrow.find_first_of("0123456789");
  if (digits == std::string::npos || digits > 1 ||
      narrow.find_first_of("+-", 1) != std::string::npos) {
    return 6;
  }
  errno = 0;
  const long long value = std::strtoll(narrow.c_str(), nullptr, 10);
  if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return 6;
  return static_cast<int32_t>(value);
}

void CheckRunRequest(const std::wstring& fingerprint, const std::wstring& videoPath,
                     const std::wstring& language, const std::wstring& mode) {
  const RunRequest r = ReadRunRequest(fingerprint, videoPath, language, mode);

  const std::string narrowed = NarrowText(fingerprint);
  Require(r.encodedFingerprint == EncodeBase64(narrowed) &&
              DecodeBase64(r.encodedFingerprint) == narrowed,
          "the encoded fingerprint is Base64 of the narrowed argument");

  std::wstring path = videoPath;
  for (wchar_t& c : path) {
    if (c == L'*') c = L' ';
  }
  Require(!r.videoFolder.empty() && r.videoFolder.back() == L'\\', "the folder ends in \"\\\"");
  Require(r.videoFileName.find_first_of(L"\\:") == std::wstring::npos, "a name without a folder");
  Require(r.videoFolder.find(L'*') == std::wstring::npos &&
              r.videoFileName.find(L'*') == std::wstring::npos,
          "no \"*\" left");
  Require(path.size() >= r.videoFileName.size() &&
              path.compare(path.size() - r.videoFileName.size(), std::wstring::npos,
                           r.videoFileName) == 0,
          "the path ends in the file name");
  const std::wstring folderPart = path.substr(0, path.size() - r.videoFileName.size());
  if (folderPart.empty()) {
    Require(r.videoFolder == L"\\", "a bare name lies in \"\\\"");
  } else {
    Require(r.videoFolder == folderPart + L"\\" ||
                (folderPart.back() == L'\\' && r.videoFolder == folderPart),
            "folder and name give the path back");
  }

  Require(r.languageCode == ExpectedLanguage(language), "the language code or 6");
  Require(r.modeWord == NarrowText(mode), "the narrowed mode word");
  const RunMode m = SelectRunMode(r.modeWord);
  Require(m == (r.modeWord == "top" ? RunMode::List
                : r.modeWord == "melhor" ? RunMode::Best
                                         : RunMode::None),
          "the mode word chooses exactly");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring line;
  for (size_t i = 0; i + 1 < size; i += 2) {
    line += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  }
  const std::vector<std::wstring> arguments = SplitCommandLine(line);
  CheckSplit(line, arguments);
  CheckRunRequest(ArgumentOrEmpty(arguments, 1), ArgumentOrEmpty(arguments, 2),
                  ArgumentOrEmpty(arguments, 3), ArgumentOrEmpty(arguments, 4));
  return 0;
}
