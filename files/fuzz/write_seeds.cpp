// Writes the starting corpora of the files fuzzers under each folder given:
// archive_fuzzer/ gets a few small archives (stored and deflated entries,
// folders, extended timestamps, hostile names, a comment, a posterior entry
// after a damaged record), archive_names_fuzzer/ stored entry names as
// archives carry them.
#include <filesystem>
#include <fstream>
#include <string>

#include "zip_fixture.h"

namespace {

void WriteNameSeeds(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  const char* const names[] = {
      "es.srt",
      "subs/en.srt",
      "subs\\en.srt",
      "../up.srt",
      "a/..\\b/../c.srt",
      "C:\\abs\\x.srt",
      "\\\\server\\share\\x.srt",
      "CON.srt",
      "lpt1 .txt",
      "x.srt:stream",
      ". ./x.srt",
      ("pel\xC3\xAD" "cula.srt"),
      "\xE2\x82\xAC \xF0\x9F\x8E\xAC.srt",
      "a\xC3\x28\xC0\xAF\xED\xA0\x80.srt",
      "cover-1001-128-198.jpg",
      "link.url",
  };
  int n = 0;
  for (const char* name : names) {
    std::ofstream(folder / ("name-" + std::to_string(++n)), std::ios::binary) << name;
  }
  // A local extra field with an extended timestamp block after another block.
  std::ofstream(folder / "extra-field", std::ios::binary)
      << ExtraBlock(0x7777, "pad") + ExtendedTimeBlock(0x07, {1, 2, 3});
}

void WriteArchiveSeeds(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  auto write = [&](const char* name, const std::string& bytes) {
    std::ofstream(folder / name, std::ios::binary) << bytes;
  };
  write("plain.zip", BuildZip({{"es.srt", "1\n00:00:01,000 --> 00:00:02,000\nHola\n"},
                               {"cover.jpg", "JPG"},
                               {"link.url", "[InternetShortcut]"}}));
  write("folders.zip", BuildZip({{"subs/", "", kFixtureDosTime, 0, 0x10},
                                 {"subs/en.srt", "text", kFixtureDosTime, 0x0314, 0100644u << 16},
                                 {"stored.sub", "stored", kFixtureDosTime, 0, 0x21, "", 0}}));
  write("times.zip",
        BuildZip({{"t.srt", "t", kFixtureDosTime, 0, 0x20,
                   ExtraBlock(0x7777, std::string(30, 'p')) + ExtendedTimeBlock(0x07, {1, 2, 3})}},
                 std::string(100, 'c')));
  write("names.zip", BuildZip({{"../up.srt", "u"},
                               {"C:\\abs\\x.srt", "a"},
                               {"CON.srt", "c"},
                               {"a/..\\b/../c.srt", "c"}}));
  std::string damaged = BuildZip({{"a.srt", "a"}, {"b.srt", "b"}});
  damaged[FindRecords(damaged).central[1]] = 'X';
  write("damaged.zip", damaged);
  ZipEntrySpec cut{"cut.srt", ""};
  cut.raw = DeflateThenDamage(VariedText(2000));
  write("cut.zip", BuildZip({cut}));
}

}  // namespace

// Each argument is a corpus root.
int main(int argc, char** argv) {
  if (argc < 2) return 2;
  for (int i = 1; i < argc; ++i) {
    WriteNameSeeds(std::filesystem::path(argv[i]) / "archive_names_fuzzer");
    WriteArchiveSeeds(std::filesystem::path(argv[i]) / "archive_fuzzer");
  }
  return 0;
}
