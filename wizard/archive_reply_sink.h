#pragma once

#include <memory>

#include "file_operations.h"
#include "http_client.h"
#include "placing.h"

// Streams a download into the window's archive stream. The stream may be
// closed and cleared while the transfer runs (the close box acts during a
// download): from then on every write fails the transfer instead of
// reaching a closed file. A reply larger than kMaxArchiveBytes is no
// subtitle archive: the transfer fails before a byte past the limit is
// written, and one announced larger fails before any byte is received.
class ArchiveReplySink : public ReplySink {
 public:
  explicit ArchiveReplySink(const std::unique_ptr<ArchiveStream>& stream) : stream_(stream) {}

  void Expect(uint64_t announcedBytes) override {
    if (announcedBytes > kMaxArchiveBytes) throw HttpFailure("the archive is announced too large");
  }

  void Write(const char* data, size_t size) override {
    if (size > kMaxArchiveBytes - written_) throw HttpFailure("the archive is too large");
    if (!stream_ || !stream_->IsOpen() || !stream_->Write(data, size)) {
      throw HttpFailure("the archive file cannot be written");
    }
    written_ += size;
  }

 private:
  const std::unique_ptr<ArchiveStream>& stream_;  // the window's member, not owned
  uint64_t written_ = 0;
};
