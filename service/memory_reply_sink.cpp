#include "memory_reply_sink.h"

void MemoryReplySink::Write(const char* data, size_t size) {
  if (size > limit_ - bytes_.size()) throw ServiceFailure("reply larger than its limit");
  bytes_.append(data, size);
}
