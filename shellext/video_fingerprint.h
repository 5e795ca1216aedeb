#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A file opened for reading raw bytes, as the fingerprint sees it.
class FingerprintSource {
 public:
  virtual ~FingerprintSource() = default;
  // The size in bytes; false when the file cannot tell it.
  virtual bool Size(uint64_t& size) = 0;
  virtual bool SeekTo(uint64_t offset) = 0;
  // Reads up to `count` bytes at the current position and returns how many
  // arrived; fewer only at the end of the file or on a read error.
  virtual size_t Read(unsigned char* buffer, size_t count) = 0;
};

// Bytes in each of the two windows the fingerprint sums.
inline constexpr size_t kFingerprintWindow = 65536;

// The 64-bit sum (wrapping) of the file size, the little-endian 64-bit words
// of the first 64 KiB and, when those were all read, those of the last 64 KiB.
// A window stops at its first incomplete word; a short head window skips the
// tail window.
uint64_t ComputeVideoFingerprint(FingerprintSource& source);

// Exactly 16 lowercase hexadecimal digits, most significant first.
std::string FormatFingerprintText(uint64_t value);
