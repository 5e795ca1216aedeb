#include "transfer_pace.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// One reply as it arrives: the body's bytes so far at given times after the
// headers, then whether the exchange is given up at a later time.
struct Arrival {
  int64_t atMs, bytesSoFar;
};

TEST(TransferPace, GivesUpABodyThatComesSlowerThanItsFloor) {
  const struct Case {
    const char* what;
    std::vector<Arrival> arrivals;
    int64_t checkMs;
    bool tooSlow;
  } cases[] = {
      {"silent just inside the window", {}, 9999, false},
      {"silent for the whole window", {}, 10000, true},
      {"one byte a second", {{1000, 1}, {2000, 2}, {9000, 9}, {10000, 10}}, 10000, true},
      {"1 KiB in the first window", {{9999, 1024}}, 10000, false},
      {"1023 bytes in the first window", {{9999, 1023}}, 10000, true},
      {"1 KiB every nine seconds", {{9000, 1024}, {18000, 2048}, {27000, 3072}}, 35999, false},
      {"a fast start, then silence", {{1000, 5000}}, 10999, false},
      {"a fast start, then silence too long", {{1000, 5000}}, 11000, true},
      {"a fast start, then a trickle", {{1000, 5000}, {6000, 5005}, {10000, 5010}}, 11000, true},
      {"bytes taken late by a busy receiver", {{15000, 2000}}, 15000, false},
  };
  for (const auto& c : cases) {
    TransferPace pace(10000, 1024);
    pace.Start(0);
    for (const auto& a : c.arrivals) pace.Received(a.bytesSoFar, a.atMs);
    EXPECT_EQ(pace.TooSlow(c.checkMs), c.tooSlow) << c.what;
  }
}

TEST(TransferPace, SaysWhenItIsNextDue) {
  TransferPace pace(10000, 1024);
  EXPECT_FALSE(pace.TooSlow(1000000));  // no body yet: the headers are watched elsewhere
  EXPECT_EQ(pace.MsUntilDue(0), -1);

  pace.Start(500);
  EXPECT_EQ(pace.MsUntilDue(500), 10000);
  pace.Received(100, 4500);
  EXPECT_EQ(pace.MsUntilDue(4500), 6000);  // too little to start a new window
  pace.Received(1124, 5500);
  EXPECT_EQ(pace.MsUntilDue(5500), 10000);
  EXPECT_EQ(pace.MsUntilDue(20000), 0);
  EXPECT_TRUE(pace.TooSlow(20000));
}

}  // namespace
