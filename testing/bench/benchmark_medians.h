#pragma once

#include <map>
#include <string>

// Runs the Google Benchmark cases registered in this program, each
// `repetitions` times, with the repetitions of all cases interleaved in a
// random order so that a slower moment of a shared machine falls on all of
// them alike. Returns each case's median times per iteration, by the case's
// name. Google Benchmark's own report (every
// repetition and the aggregates) goes to stderr; the command line may add
// its flags (--benchmark_filter=..., --benchmark_min_time=...).
struct MedianTimes {
  double real = 0;  // wall-clock microseconds (a case's manual time when it sets one)
  double cpu = 0;   // microseconds of this process's processor time, user and system
};
std::map<std::string, MedianTimes> RunInterleavedMedians(int argc, char** argv, int repetitions);
