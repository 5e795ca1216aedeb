#include "video_fingerprint.h"

#include <cstring>
#include <memory>

namespace {

constexpr size_t kWordSize = 8;

// The little-endian word at `bytes`, which need not be aligned. On a
// little-endian processor that is a plain load (memcpy keeps it clear of
// alignment and aliasing rules); elsewhere the bytes are put together.
inline uint64_t LittleEndianWord(const unsigned char* bytes) {
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
#else
  uint64_t word = 0;
  for (size_t i = kWordSize; i-- > 0;) word = (word << 8) | bytes[i];
  return word;
#endif
}

uint64_t SumOfWords(const unsigned char* bytes, size_t words) {
  uint64_t sum = 0;
  for (size_t i = 0; i < words; ++i) sum += LittleEndianWord(bytes + i * kWordSize);
  return sum;
}

// Reads one window with a single read and adds its complete words to `sum`.
// Returns true when the whole window arrived.
bool AddWindow(FingerprintSource& source, unsigned char* buffer, uint64_t& sum) {
  const size_t delivered = source.Read(buffer, kFingerprintWindow);
  if (delivered >= kFingerprintWindow) {
    sum += SumOfWords(buffer, kFingerprintWindow / kWordSize);
    return true;
  }
  sum += SumOfWords(buffer, delivered / kWordSize);
  return false;
}

}  // namespace

uint64_t ComputeVideoFingerprint(FingerprintSource& source) {
  uint64_t size = 0;
  if (!source.Size(size)) size = 0;
  uint64_t sum = size;
  if (!source.SeekTo(0)) return sum;

  // Only the bytes a read delivered are summed, so the buffer is not
  // cleared first.
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kFingerprintWindow]);
  if (!AddWindow(source, buffer.get(), sum)) return sum;
  // The tail window ends exactly at the end of the file; it may overlap the
  // head window, and its words need not line up with the head's.
  if (size < kFingerprintWindow || !source.SeekTo(size - kFingerprintWindow)) return sum;
  AddWindow(source, buffer.get(), sum);
  return sum;
}

std::string FormatFingerprintText(uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (size_t i = 16; i-- > 0; value >>= 4) text[i] = kDigits[value & 15];
  return text;
}
