#include "video_fingerprint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// A file in memory whose reads can fail after a given number of bytes.
class MemorySource : public FingerprintSource {
 public:
  explicit MemorySource(Bytes data, size_t readableBytes = SIZE_MAX)
      : data_(std::move(data)), readable_(readableBytes) {}

  bool Size(uint64_t& size) override {
    size = data_.size();
    return true;
  }
  bool SeekTo(uint64_t offset) override {
    if (offset > data_.size()) return false;
    position_ = static_cast<size_t>(offset);
    return true;
  }
  size_t Read(unsigned char* buffer, size_t count) override {
    ++reads;
    size_t n = std::min(count, data_.size() - position_);
    n = std::min(n, readable_ - std::min(readable_, delivered_));
    std::copy_n(data_.begin() + position_, n, buffer);
    position_ += n;
    delivered_ += n;
    return n;
  }

  int reads = 0;

 private:
  Bytes data_;
  size_t readable_;
  size_t position_ = 0;
  size_t delivered_ = 0;
};

Bytes Filled(size_t size, unsigned char value) { return Bytes(size, value); }

std::string Fingerprint(Bytes data) {
  MemorySource source(std::move(data));
  return FormatFingerprintText(ComputeVideoFingerprint(source));
}

TEST(VideoFingerprint, SizesAndContentsGiveTheKnownTexts) {
  Bytes eight = Filled(8, 0);
  eight[0] = 1;
  Bytes nine = eight;
  nine.push_back(0xFF);
  Bytes halves = Filled(131072, 1);
  std::fill(halves.begin() + 65536, halves.end(), 2);

  struct Case {
    const char* what;
    Bytes data;
    const char* text;
  } cases[] = {
      {"empty", {}, "0000000000000000"},
      {"7 bytes: no complete word", Filled(7, 0xAB), "0000000000000007"},
      {"8 bytes: one word", eight, "0000000000000009"},
      {"9 bytes: the ninth byte is no word", nine, "000000000000000a"},
      {"65535 bytes: no tail window", Filled(65535, 1), "1f1f1f1f1f201efe"},
      {"65536 bytes: both windows read the same words", Filled(65536, 1), "4040404040414000"},
      {"131072 bytes: two halves", halves, "6060606060626000"},
      {"131072 bytes of 0xFF: the sum wraps", Filled(131072, 0xFF), "000000000001c000"},
  };
  for (auto& c : cases) EXPECT_EQ(Fingerprint(c.data), c.text) << c.what;
}

// The fingerprint as defined word by word: 8-byte reads, each window stopping
// at its first short read. The bulk reads must give the same value.
uint64_t WordByWord(const Bytes& data, size_t readable) {
  const uint64_t size = data.size();
  uint64_t sum = size;
  size_t delivered = 0;
  auto window = [&](size_t start) {
    for (size_t w = 0; w < 8192; ++w) {
      const size_t at = start + w * 8;
      if (at + 8 > data.size() || delivered + 8 > readable) return false;
      uint64_t word = 0;
      for (int i = 7; i >= 0; --i) word = (word << 8) | data[at + i];
      sum += word;
      delivered += 8;
    }
    return true;
  };
  if (window(0) && size >= 65536) window(size - 65536);
  return sum;
}

TEST(VideoFingerprint, BulkReadsEqualTheWordByWordRule) {
  std::mt19937_64 random(7);
  const size_t sizes[] = {0, 1, 15, 16, 65529, 65536, 65537, 65543, 70001, 131071, 131072, 131073, 300007};
  for (size_t size : sizes) {
    Bytes data(size);
    for (auto& b : data) b = static_cast<unsigned char>(random());
    // Whole reads, then reads that fail midway in the head and in the tail
    // window, at and off word boundaries.
    const size_t failures[] = {SIZE_MAX, 0, 5, 8, 4096 + 3, 65536, 65536 + 17, 65536 + 4096};
    for (size_t readable : failures) {
      MemorySource source(data, readable);
      EXPECT_EQ(ComputeVideoFingerprint(source), WordByWord(data, readable))
          << "size " << size << ", readable " << readable;
      EXPECT_LE(source.reads, 2);
    }
  }
}

TEST(VideoFingerprint, TextIsSixteenLowercaseDigits) {
  EXPECT_EQ(FormatFingerprintText(0), "0000000000000000");
  EXPECT_EQ(FormatFingerprintText(0xABCDEF), "0000000000abcdef");
  EXPECT_EQ(FormatFingerprintText(UINT64_MAX), "ffffffffffffffff");
}

}  // namespace
