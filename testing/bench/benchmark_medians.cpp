#include "benchmark_medians.h"

#include <benchmark/benchmark.h>

#include <iostream>
#include <vector>

namespace {

// The console report, on stderr, keeping the median of each case.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  explicit MedianReporter(std::map<std::string, MedianTimes>& medians)
      : ConsoleReporter(OO_None), medians_(medians) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
      const double perSecond = benchmark::GetTimeUnitMultiplier(run.time_unit);
      medians_[run.run_name.function_name] = {run.GetAdjustedRealTime() / perSecond * 1e6,
                                               run.GetAdjustedCPUTime() / perSecond * 1e6};
    }
    ConsoleReporter::ReportRuns(runs);
  }

 private:
  std::map<std::string, MedianTimes>& medians_;
};

}  // namespace

std::map<std::string, MedianTimes> RunInterleavedMedians(int argc, char** argv, int repetitions) {
  std::vector<std::string> flags = {
      "--benchmark_enable_random_interleaving=true",
      "--benchmark_color=false",
      "--benchmark_repetitions=" + std::to_string(repetitions),
  };
  std::vector<char*> arguments = {argv[0]};
  for (std::string& flag : flags) arguments.push_back(flag.data());
  for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);  // later flags win
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());

  std::map<std::string, MedianTimes> medians;
  MedianReporter reporter(medians);
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return medians;
}
