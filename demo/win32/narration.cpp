#include "narration.h"

#include <fstream>

#include "code_page.h"

void Say(const std::wstring& line) {
  const std::string bytes = WideToCodePage(line + L"\n", CP_UTF8);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

std::wstring LinuxPathOf(const std::filesystem::path& path) {
  std::wstring text = path.wstring();
  if (text.size() < 2 || (text[0] != L'Z' && text[0] != L'z') || text[1] != L':') return text;
  text = text.substr(2);
  for (auto& c : text) {
    if (c == L'\\') c = L'/';
  }
  return text;
}

bool ScreenshotTaker::Take(const std::wstring& name, const std::wstring& what) const {
  const auto picture = folder_ / (name + L".png");
  {
    std::ofstream request(folder_ / (name + L".want"), std::ios::binary);
    request << WideToCodePage(what, CP_UTF8) << "\n";
  }
  // The script looks ten times a second; import needs a moment for the
  // whole screen.
  for (int i = 0; i < 300 && !std::filesystem::exists(picture); ++i) Sleep(50);
  if (!std::filesystem::exists(picture)) {
    Say(L"   (no screenshot arrived for " + name + L".png)");
    return false;
  }
  Say(L"   screenshot " + name + L".png: " + what);
  return true;
}
