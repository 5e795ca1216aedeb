#include "video_fingerprint.h"

#include <vector>

namespace {

constexpr size_t kWordSize = 8;

uint64_t LittleEndianWord(const unsigned char* bytes) {
  uint64_t word = 0;
  for (size_t i = kWordSize; i-- > 0;) word = (word << 8) | bytes[i];
  return word;
}

// Reads one window with a single read and adds its complete words to `sum`.
// Returns true when the whole window arrived.
bool AddWindow(FingerprintSource& source, std::vector<unsigned char>& buffer, uint64_t& sum) {
  const size_t delivered = source.Read(buffer.data(), buffer.size());
  const size_t words = (delivered < buffer.size() ? delivered : buffer.size()) / kWordSize;
  for (size_t i = 0; i < words; ++i) sum += LittleEndianWord(&buffer[i * kWordSize]);
  return delivered >= buffer.size();
}

}  // namespace

uint64_t ComputeVideoFingerprint(FingerprintSource& source) {
  uint64_t size = 0;
  if (!source.Size(size)) size = 0;
  uint64_t sum = size;
  if (!source.SeekTo(0)) return sum;

  std::vector<unsigned char> buffer(kFingerprintWindow);
  if (!AddWindow(source, buffer, sum)) return sum;
  // The tail window ends exactly at the end of the file; it may overlap the
  // head window, and its words need not line up with the head's.
  if (size < kFingerprintWindow || !source.SeekTo(size - kFingerprintWindow)) return sum;
  AddWindow(source, buffer, sum);
  return sum;
}

std::string FormatFingerprintText(uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (size_t i = 16; i-- > 0; value >>= 4) text[i] = kDigits[value & 15];
  return text;
}
