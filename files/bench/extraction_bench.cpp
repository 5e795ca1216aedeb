// Unpacking an archive of 2,000 subtitles (200 MB unpacked, deflated)
// through OpenArchive ... CloseArchive against Info-ZIP's `unzip -o -q`,
// each into a fresh folder, timed side by side (wall time). Prints one row
// of the benchmark table.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "archive.h"
#include "bench_table.h"
#include "benchmark_medians.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kEntries = 2000;
constexpr size_t kEntryBytes = 100000;
// One open archive may write at most kMaxExtractedBytes: the benchmark
// opens the archive anew for each quarter of its entries, so every entry is
// extracted with the limits as they are.
constexpr int kEntriesPerOpen = 500;
static_assert(kEntriesPerOpen * kEntryBytes <= kMaxExtractedBytes);
static_assert(kEntryBytes <= kMaxEntryBytes);
constexpr int kRepetitions = 5;
constexpr double kTargetRatio = 0.8;

fs::path archive;
fs::path workFolder;

// Subtitle text: numbered cues with times and lines of Spanish words, so
// that it deflates about as well as real subtitles do.
std::string SubtitleText(unsigned seed) {
  static const char* const kWords[] = {
      "que",    "de",      "no",     "a",     "la",      "el",     "es",    "y",
      "en",     "lo",      "un",     "por",   "qué",     "me",     "una",   "te",
      "los",    "se",      "con",    "para",  "mi",      "está",   "si",    "bien",
      "pero",   "yo",      "eso",    "las",   "sí",      "su",     "tu",    "aquí",
      "del",    "al",      "como",   "le",    "más",     "esto",   "ya",    "todo",
      "esta",   "vamos",   "muy",    "hay",   "ahora",   "algo",   "estoy", "tengo",
      "nos",    "tú",      "nada",   "cuando", "ha",     "este",   "sé",    "estás",
      "así",    "puedo",   "cómo",   "quiero", "él",     "sólo",   "soy",   "tiene",
      "gracias", "había",  "mucho",  "dónde", "entonces", "noche", "casa",  "tiempo"};
  std::mt19937 random(seed);
  std::string text;
  text.reserve(kEntryBytes + 200);
  for (int cue = 1; text.size() < kEntryBytes; ++cue) {
    const int start = cue * 3217 + static_cast<int>(random() % 900);
    char times[80];
    std::snprintf(times, sizeof times, "%d\r\n%02d:%02d:%02d,%03d --> %02d:%02d:%02d,%03d\r\n", cue,
                  start / 3600000, start / 60000 % 60, start / 1000 % 60, start % 1000,
                  (start + 2400) / 3600000, (start + 2400) / 60000 % 60, (start + 2400) / 1000 % 60,
                  (start + 2400) % 1000);
    text += times;
    const int lines = 1 + static_cast<int>(random() % 2);
    for (int line = 0; line < lines; ++line) {
      const int words = 3 + static_cast<int>(random() % 6);
      for (int w = 0; w < words; ++w) {
        if (w) text += ' ';
        text += kWords[random() % (sizeof kWords / sizeof kWords[0])];
      }
      text += random() % 4 ? ".\r\n" : "?\r\n";
    }
    text += "\r\n";
  }
  text.resize(kEntryBytes);
  return text;
}

// Writes the archive under a passing name and renames it when complete, so
// that a later run may take it as it is.
void MakeArchive() {
  const fs::path partial = archive.string() + ".partial";
  zipFile zip = zipOpen64(partial.c_str(), APPEND_STATUS_CREATE);
  if (!zip) {
    std::fprintf(stderr, "extraction-bench: cannot create %s\n", archive.c_str());
    std::exit(1);
  }
  for (int i = 0; i < kEntries; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "subtitulo-%04d.es.srt", i);
    const std::string text = SubtitleText(static_cast<unsigned>(i));
    zip_fileinfo info{};
    info.dosDate = 0x58A16C40u;  // 2024-05-01 13:34:00
    info.external_fa = 0x20;
    if (zipOpenNewFileInZip4_64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr,
                                0, 0, 0, 0) != ZIP_OK ||
        zipWriteInFileInZip(zip, text.data(), static_cast<unsigned>(text.size())) != ZIP_OK ||
        zipCloseFileInZip(zip) != ZIP_OK) {
      std::fprintf(stderr, "extraction-bench: cannot write entry %d\n", i);
      std::exit(1);
    }
  }
  if (zipClose(zip, nullptr) != ZIP_OK) std::exit(1);
  fs::rename(partial, archive);
}

// What a run left in its folder: files and their bytes.
bool HoldsEveryEntry(const fs::path& folder) {
  int files = 0;
  uintmax_t bytes = 0;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (!item.is_regular_file()) continue;
    ++files;
    bytes += item.file_size();
  }
  return files == kEntries && bytes == kEntries * kEntryBytes;
}

// A new folder for each run. What the runs wrote is removed only at the
// end: a file system that has just freed thousands of files (ext4 here)
// spends much of the next run looking past the freed inodes, which no
// user's extraction meets.
int runs = 0;
fs::path FreshFolder(const char* name) {
  const fs::path folder = workFolder / "runs" / (name + std::to_string(++runs));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

int failedRuns = 0;

void ExtractWithArchiveReader(const fs::path& folder) {
  if (chdir(folder.c_str()) != 0) std::abort();  // the base folder of every open
  for (int first = 0; first < kEntries; first += kEntriesPerOpen) {
    ArchiveHandle handle = OpenArchive(archive.wstring(), nullptr);
    ArchiveEntry entry;
    GetArchiveEntry(handle, -1, entry);
    const int end = std::min(entry.index, first + kEntriesPerOpen);
    for (int i = first; i < end; ++i) {
      if (GetArchiveEntry(handle, i, entry) != kArchiveOk) continue;
      ExtractArchiveEntry(handle, i, entry.name);
    }
    CloseArchive(handle);
  }
  if (chdir(workFolder.c_str()) != 0) std::abort();
}

void ExtractWithUnzip(const fs::path& folder) {
  const std::string from = archive.string();
  const std::string into = folder.string();
  const char* arguments[] = {"unzip", "-o", "-q", from.c_str(), "-d", into.c_str(), nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, "unzip", nullptr, nullptr, const_cast<char**>(arguments), environ) != 0) {
    std::perror("extraction-bench: cannot start unzip");
    std::exit(1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failedRuns;
}

// One timed extraction into a fresh folder; the check of what it wrote is
// not timed.
template <typename Extract>
void TimeExtraction(benchmark::State& state, const char* name, Extract extract) {
  for (auto _ : state) {
    const auto start = Clock::now();
    const fs::path folder = FreshFolder(name);
    extract(folder);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    if (!HoldsEveryEntry(folder)) ++failedRuns;
  }
}

void BM_ArchiveReader(benchmark::State& state) {
  TimeExtraction(state, "reader", ExtractWithArchiveReader);
}
BENCHMARK(BM_ArchiveReader)->UseManualTime()->Iterations(1);

void BM_Unzip(benchmark::State& state) { TimeExtraction(state, "unzip", ExtractWithUnzip); }
BENCHMARK(BM_Unzip)->UseManualTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  // The folder to work in (the archive and the extracted files): the first
  // argument when it is not a flag, else the temporary folder.
  if (argc > 1 && argv[1][0] != '-') {
    workFolder = fs::absolute(argv[1]);
    --argc;
    ++argv;
    argv[0] = argv[-1];
  } else {
    workFolder = fs::temp_directory_path() / "extraction-bench";
  }
  fs::create_directories(workFolder);
  // Made once and kept in the folder: the same entries every run.
  archive = workFolder / "subtitles-2000-v2.zip";
  if (!fs::exists(archive)) {
    const auto made = Clock::now();
    MakeArchive();
    std::fprintf(stderr, "archive made in %.1f s\n",
                 std::chrono::duration<double>(Clock::now() - made).count());
  }
  std::fprintf(stderr, "archive: %d entries, %ju bytes\n", kEntries,
               static_cast<uintmax_t>(fs::file_size(archive)));

  fs::remove_all(workFolder / "runs");
  const auto medians = RunInterleavedMedians(argc, argv, kRepetitions);
  fs::remove_all(workFolder / "runs");
  if (!medians.count("BM_ArchiveReader") || !medians.count("BM_Unzip")) return 1;

  const double figure = medians.at("BM_ArchiveReader").real / 1e6;
  const double baseline = medians.at("BM_Unzip").real / 1e6;
  BenchRow row;
  row.what = "Extraction of 2,000 entries, 200 MB (wall time; 4 opens of 500 entries" +
             std::string(failedRuns ? ", SOME RUNS LEFT FILES OUT" : "") + ")";
  row.figure = Fixed(figure, 2, "s");
  row.baseline = Fixed(baseline, 2, "s") + " (`unzip -o -q`)";
  row.ratio = Ratio(figure, baseline);
  row.target = "≤ 0.80×";
  row.met = figure <= kTargetRatio * baseline && failedRuns == 0;
  PrintBenchRow(row);
  return 0;
}
