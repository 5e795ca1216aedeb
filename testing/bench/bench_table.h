#pragma once

#include <string>
#include <vector>

// One line of the table that scripts/bench writes: what was measured, its
// figure, the baseline measured beside it in the same run, their ratio,
// the target and whether it was met.
struct BenchRow {
  std::string what;
  std::string figure;
  std::string baseline;
  std::string ratio;
  std::string target;
  bool met = false;
};

// Prints the row on stdout as one markdown table line.
void PrintBenchRow(const BenchRow& row);

// The middle value (the mean of the two middle ones for an even count); 0
// for none.
double Median(std::vector<double> values);

// `value` with `decimals` digits after the point, then `unit` after a space
// when it is not empty: Fixed(83.04, 1, "µs") is "83.0 µs".
std::string Fixed(double value, int decimals, const char* unit = "");

// figure / baseline as "4.35×".
std::string Ratio(double figure, double baseline);
