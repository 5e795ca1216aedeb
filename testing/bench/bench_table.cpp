#include "bench_table.h"

#include <algorithm>
#include <cstdio>

void PrintBenchRow(const BenchRow& row) {
  std::printf("| %s | %s | %s | %s | %s | %s |\n", row.what.c_str(), row.figure.c_str(),
              row.baseline.c_str(), row.ratio.c_str(), row.target.c_str(),
              row.met ? "yes" : "no");
  std::fflush(stdout);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string Fixed(double value, int decimals, const char* unit) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string result = text;
  if (unit && *unit) result += std::string(" ") + unit;
  return result;
}

std::string Ratio(double figure, double baseline) {
  return baseline > 0 ? Fixed(figure / baseline, 2) + "×" : "–";
}
