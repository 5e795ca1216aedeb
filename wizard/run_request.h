#pragma once

#include <cstdint>
#include <string>

// What the wizard takes from its command line and keeps for the whole run.
struct RunRequest {
  std::string encodedFingerprint;  // Base64 of the narrowed first argument
  std::wstring videoFolder;        // always ends in a backslash
  std::wstring videoFileName;
  int32_t languageCode = 6;
  std::string modeWord;            // "top", "melhor", anything else or empty
};

inline constexpr int32_t kDefaultLanguageCode = 6;

// Builds the run request from the first four arguments (an absent argument
// is an empty text). Pure; never fails.
RunRequest ReadRunRequest(const std::wstring& fingerprint, const std::wstring& videoPath,
                          const std::wstring& languageCode, const std::wstring& modeWord);

enum class RunMode {
  None,  // the run ends at once: no window, no message, no request
  List,  // "top": the window lists the subtitles to tick
  Best,  // "melhor": the best subtitle is placed without a window
};

// Exact, case-sensitive choice of the mode from the mode word.
RunMode SelectRunMode(const std::string& modeWord);
