// The fingerprint of a 4 GiB sparse file against the floor of its work: two
// positioned reads of 64 KiB and a plain sum of their words, timed side by
// side on a warm page cache. Prints one row of the benchmark table.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_table.h"
#include "benchmark_medians.h"
#include "video_fingerprint.h"

namespace {

constexpr uint64_t kFileSize = uint64_t{4} << 30;
constexpr int kRepetitions = 15;
constexpr double kTargetRatio = 1.5;

int file = -1;

// The file as a fingerprint source over positioned reads, counting the
// reads it makes.
class PreadSource final : public FingerprintSource {
 public:
  bool Size(uint64_t& size) override {
    struct stat st {};
    if (fstat(file, &st) != 0) return false;
    size = static_cast<uint64_t>(st.st_size);
    return true;
  }
  bool SeekTo(uint64_t offset) override {
    position_ = offset;
    return true;
  }
  size_t Read(unsigned char* buffer, size_t count) override {
    size_t total = 0;
    while (total < count) {
      ++reads;
      const ssize_t got = pread(file, buffer + total, count - total,
                                static_cast<off_t>(position_));
      if (got <= 0) break;
      total += static_cast<size_t>(got);
      position_ += static_cast<uint64_t>(got);
    }
    return total;
  }

  int reads = 0;

 private:
  uint64_t position_ = 0;
};

// What the fastest fingerprint cannot beat: the two reads and a plain sum.
uint64_t PlainSum(const unsigned char* bytes, size_t count) {
  uint64_t sum = 0;
  for (size_t at = 0; at + 8 <= count; at += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + at, sizeof word);
    sum += word;
  }
  return sum;
}

uint64_t Floor(unsigned char* buffer) {
  uint64_t sum = kFileSize;
  if (pread(file, buffer, kFingerprintWindow, 0) != static_cast<ssize_t>(kFingerprintWindow)) {
    std::abort();
  }
  sum += PlainSum(buffer, kFingerprintWindow);
  if (pread(file, buffer, kFingerprintWindow, static_cast<off_t>(kFileSize - kFingerprintWindow)) !=
      static_cast<ssize_t>(kFingerprintWindow)) {
    std::abort();
  }
  return sum + PlainSum(buffer, kFingerprintWindow);
}

// What the runs saw, checked after timing.
uint64_t fingerprintValue = 0;
uint64_t floorValue = 0;
int fewestReads = 1 << 30;
int mostReads = 0;

void BM_Fingerprint(benchmark::State& state) {
  int64_t reads = 0;
  for (auto _ : state) {
    PreadSource source;
    fingerprintValue = ComputeVideoFingerprint(source);
    benchmark::DoNotOptimize(fingerprintValue);
    reads += source.reads;
    if (source.reads < fewestReads) fewestReads = source.reads;
    if (source.reads > mostReads) mostReads = source.reads;
  }
  state.counters["reads"] =
      benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Fingerprint)->MinTime(0.05);

void BM_Floor(benchmark::State& state) {
  std::vector<unsigned char> buffer(kFingerprintWindow);
  for (auto _ : state) {
    floorValue = Floor(buffer.data());
    benchmark::DoNotOptimize(floorValue);
  }
}
BENCHMARK(BM_Floor)->MinTime(0.05);

// A sparse file of 4 GiB whose two windows hold random bytes.
std::string MakeSparseFile() {
  std::string path = (std::filesystem::temp_directory_path() / "fingerprint-bench-XXXXXX").string();
  file = mkstemp(path.data());
  if (file < 0 || ftruncate(file, static_cast<off_t>(kFileSize)) != 0) {
    std::perror("fingerprint-bench: cannot make the sparse file");
    std::exit(1);
  }
  std::mt19937_64 random(4);
  std::vector<unsigned char> window(kFingerprintWindow);
  for (off_t at : {off_t{0}, static_cast<off_t>(kFileSize - kFingerprintWindow)}) {
    for (auto& byte : window) byte = static_cast<unsigned char>(random());
    if (pwrite(file, window.data(), window.size(), at) != static_cast<ssize_t>(window.size())) {
      std::perror("fingerprint-bench: cannot write the file");
      std::exit(1);
    }
  }
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = MakeSparseFile();
  const auto medians = RunInterleavedMedians(argc, argv, kRepetitions);
  close(file);
  std::remove(path.c_str());

  const double figure = medians.at("BM_Fingerprint").cpu;
  const double baseline = medians.at("BM_Floor").cpu;
  const bool twoReads = fewestReads == 2 && mostReads == 2;
  const bool sameValue = fingerprintValue == floorValue;
  std::fprintf(stderr, "fingerprint %016llx, floor %016llx; reads per fingerprint: %d to %d\n",
               static_cast<unsigned long long>(fingerprintValue),
               static_cast<unsigned long long>(floorValue), fewestReads, mostReads);
  BenchRow row;
  row.what = "Fingerprint of a 4 GiB file (processor time, warm cache; " +
             std::to_string(mostReads) + " reads" +
             (sameValue ? "" : ", VALUE DIFFERS FROM THE FLOOR'S") + ")";
  row.figure = Fixed(figure, 1, "µs");
  row.baseline = Fixed(baseline, 1, "µs") + " (2 `pread`s of 64 KiB, plain sum)";
  row.ratio = Ratio(figure, baseline);
  row.target = "≤ 1.50×, exactly 2 reads";
  row.met = figure <= kTargetRatio * baseline && twoReads && sameValue;
  PrintBenchRow(row);
  return 0;
}
