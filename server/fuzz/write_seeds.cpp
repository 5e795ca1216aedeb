// Writes the starting corpus of the service's request fuzzer under each
// folder given (service_request_fuzzer/): the bodies the wizard sends to
// each path, for the videos of the fuzzer's library and for others.
#include <filesystem>
#include <fstream>
#include <string>

#include "request_input.h"

namespace {

void WriteSeeds(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  int n = 0;
  auto write = [&](ServiceEndpoint endpoint, const std::string& body) {
    std::ofstream out(folder / ("body-" + std::to_string(++n)), std::ios::binary);
    out.put(static_cast<char>(endpoint)) << body;
  };
  const std::string hash = kLibraryHashes[0];
  const std::string lookup = "version=100&response=xml&cod_language=42&hash=";
  write(ServiceEndpoint::MovieByHash, "version=100&response=xml&hash=" + hash);
  write(ServiceEndpoint::MovieByHash, "version=100&response=xml&hash=" + std::string(kLibraryHashes[1]));
  write(ServiceEndpoint::MovieByHash, "version=100&response=xml&hash=AAAAAAAAAAAAAAAAAAAAAA==");
  write(ServiceEndpoint::BestSubtitle, lookup + hash);
  write(ServiceEndpoint::BestSubtitle, "version=100&response=xml&cod_language=6&hash=" + hash);
  write(ServiceEndpoint::SubtitleList, lookup + hash);
  write(ServiceEndpoint::SubtitleList, lookup + kLibraryHashes[1]);
  write(ServiceEndpoint::SubtitleList, "version=100&response=xml&cod_language=-2147483648&hash=" + hash);
  write(ServiceEndpoint::SubtitleFiles,
        "version=100&response=single&cod_bsplayer=MQ==&post_date=MjAxMy0wNS0xMQ==");
  write(ServiceEndpoint::SubtitleFiles,
        "version=100&response=single&cod_bsplayer=Mg==&post_date=MjAxMy0wNS0wMQ==");
  // The list reply as the wizard sends it back: one node a line, CR LF.
  const std::string list =
      "<?xml version=\"1.0\"?>\r\n<subtitles>\r\n<subtitle>\r\n<id>MQ==</id>\r\n"
      "<name>RXNwYfFvbA==</name>\r\n<date>MjAxMy0wNS0xMQ==</date>\r\n<uses>MA==</uses>\r\n"
      "</subtitle>\r\n<subtitle>\r\n<id>Mw==</id>\r\n<name>RW5nbGlzaA==</name>\r\n"
      "<date>MjAxMy0wNS0xMw==</date>\r\n<uses>MA==</uses>\r\n</subtitle>\r\n</subtitles>\r\n";
  write(ServiceEndpoint::SubtitleFiles,
        "version=100&response=multiple&imdb=MTAwMQ==&poster=true&subtitles=" + list);
  write(ServiceEndpoint::SubtitleFiles,
        "version=100&response=multiple&imdb=&poster=false&subtitles=" + list);
  write(ServiceEndpoint::SubtitleFiles,
        "version=100&response=multiple&imdb=&poster=true&subtitles=<subtitles></subtitles>");
}

}  // namespace

// Each argument is a corpus root.
int main(int argc, char** argv) {
  if (argc < 2) return 2;
  for (int i = 1; i < argc; ++i) WriteSeeds(std::filesystem::path(argv[i]) / "service_request_fuzzer");
  return 0;
}
