#pragma once

#include "http_client.h"
#include "unique_resource.h"

// Streams a reply into an open file, as the tests of downloads use it. The
// file is not owned: its owner may close it at any time, and a write after
// that fails instead of reaching a closed or reused handle.
class FileReplySink : public ReplySink {
 public:
  explicit FileReplySink(const UniqueFile& file) : file_(file) {}
  void Write(const char* data, size_t size) override;

 private:
  const UniqueFile& file_;
};
