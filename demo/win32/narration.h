#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

// What the demo tells its user, one line at a time, in UTF-8 on standard
// output (a file or a pipe that the demo script shows as it grows).
void Say(const std::wstring& line);

// A Windows path on Wine's drive Z: is the same path on the Linux side.
std::wstring LinuxPathOf(const std::filesystem::path& path);

// Asks the demo script for a picture of the whole screen and waits for it:
// the script watches `folder` for NAME.want and answers with NAME.png.
class ScreenshotTaker {
 public:
  explicit ScreenshotTaker(std::filesystem::path folder) : folder_(std::move(folder)) {}
  // Returns whether the picture arrived; says what it shows either way.
  bool Take(const std::wstring& name, const std::wstring& what) const;

 private:
  std::filesystem::path folder_;
};
