// Writes the starting corpus of the Base64 fuzzer under each folder given
// (base64_fuzzer/): values as the service sends them, with and without
// fill, cut short, with an outsider inside, and some bytes to encode.
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void WriteSeeds(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  const std::string seeds[] = {
      "MDEyMzQ1Njc4OWFiY2RlZg==",  // a video fingerprint's text
      "MTAwMQ==",                  // a film number
      "MjAxMy0wNS0wMQ==",          // a date
      "RXNwYfFvbA==",              // Windows-1252 text
      "SGVsbG8",                   // without fill
      "SGVs bG8=",                 // an outsider inside
      "QQ",
      "Q",
      "////++++",
      std::string("\x00\xFF\x80\x7F", 4),
  };
  int n = 0;
  for (const std::string& seed : seeds) {
    std::ofstream(folder / ("value-" + std::to_string(++n)), std::ios::binary) << seed;
  }
}

}  // namespace

// Each argument is a corpus root.
int main(int argc, char** argv) {
  if (argc < 2) return 2;
  for (int i = 1; i < argc; ++i) WriteSeeds(std::filesystem::path(argv[i]) / "base64_fuzzer");
  return 0;
}
