#include "file_fingerprint.h"

#include <fstream>
#include <stdexcept>

#include "video_fingerprint.h"

namespace {

class StreamSource final : public FingerprintSource {
 public:
  explicit StreamSource(const std::filesystem::path& path) : in_(path, std::ios::binary) {}
  bool open() const { return in_.is_open(); }
  bool Size(uint64_t& size) override {
    in_.clear();
    in_.seekg(0, std::ios::end);
    const auto end = in_.tellg();
    if (end < 0) return false;
    size = static_cast<uint64_t>(end);
    return true;
  }
  bool SeekTo(uint64_t offset) override {
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(in_);
  }
  size_t Read(unsigned char* buffer, size_t count) override {
    in_.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(count));
    return static_cast<size_t>(in_.gcount());
  }

 private:
  std::ifstream in_;
};

}  // namespace

uint64_t FingerprintOfFile(const std::filesystem::path& path) {
  StreamSource source(path);
  if (!source.open() || std::filesystem::is_directory(path)) {
    throw std::runtime_error("cannot read the video file " + path.string());
  }
  return ComputeVideoFingerprint(source);
}
