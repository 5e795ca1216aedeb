// Writes a few small archives as the starting corpus of the archive fuzzer:
// stored and deflated entries, folders, extended timestamps, hostile names,
// a comment, a posterior entry after a damaged record.
#include <filesystem>
#include <fstream>
#include <string>

#include "zip_fixture.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path folder = argv[1];
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
  return 0;
}
