#pragma once

#include <cstddef>
#include <string>

#include "http_client.h"

// The largest XML reply the wizard reads: far above any real reply, small
// enough that a runaway server cannot exhaust memory.
inline constexpr size_t kMaxReplyBytes = 16 * 1024 * 1024;

// A reply buffer in memory. A reply announced beyond its limit, or receiving
// more than the limit, throws ServiceFailure, which ends the request.
class MemoryReplySink : public ReplySink {
 public:
  explicit MemoryReplySink(size_t limit = kMaxReplyBytes) : limit_(limit) {}

  void Expect(uint64_t announcedBytes) override;
  void Write(const char* data, size_t size) override;

  const std::string& bytes() const { return bytes_; }

 private:
  size_t limit_;
  std::string bytes_;
};
