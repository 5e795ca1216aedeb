#include "memory_reply_sink.h"

void MemoryReplySink::Expect(uint64_t announcedBytes) {
  if (announcedBytes > limit_) throw ServiceFailure("reply announced larger than its limit");
}

void MemoryReplySink::Write(const char* data, size_t size) {
  if (size > limit_ - bytes_.size()) throw ServiceFailure("reply larger than its limit");
  bytes_.append(data, size);
}
