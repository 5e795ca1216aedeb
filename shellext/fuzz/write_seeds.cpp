// Writes the starting corpus of the video-extension fuzzer under each folder
// given (video_extension_fuzzer/): paths as Explorer hands them over, in
// UTF-16 (little-endian).
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void WriteSeeds(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  const std::wstring seeds[] = {
      L"C:\\Users\\Ana\\Videos\\Sample Film 1.avi",
      L"C:\\Películas\\La Película.MKV",
      L"D:\\grabaciones\\programa.dvr-ms",
      L"\\\\servidor\\vídeos\\serie.s01e01.mp4",
      L"C:\\Films.avi\\readme",
      L"C:\\Films\\notas.txt",
      L"C:\\Films\\sin extensión",
      L"C:\\Films\\película.\u0141VI",
  };
  int n = 0;
  for (const std::wstring& seed : seeds) {
    std::ofstream out(folder / ("path-" + std::to_string(++n)), std::ios::binary);
    for (wchar_t unit : seed) {
      out.put(static_cast<char>(unit & 0xFF)).put(static_cast<char>((unit >> 8) & 0xFF));
    }
  }
}

}  // namespace

// Each argument is a corpus root.
int main(int argc, char** argv) {
  if (argc < 2) return 2;
  for (int i = 1; i < argc; ++i) WriteSeeds(std::filesystem::path(argv[i]) / "video_extension_fuzzer");
  return 0;
}
