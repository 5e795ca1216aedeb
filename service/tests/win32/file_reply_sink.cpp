#include "file_reply_sink.h"

#include <string>

void FileReplySink::Write(const char* data, size_t size) {
  while (size > 0) {
    if (!file_) throw ServiceFailure("reply file closed");
    const DWORD piece = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file_.get(), data, piece, &written, nullptr) || written == 0) {
      throw ServiceFailure("cannot write the reply file (error " + std::to_string(GetLastError()) + ")");
    }
    data += written;
    size -= written;
  }
}
