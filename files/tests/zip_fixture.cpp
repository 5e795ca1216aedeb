#include "zip_fixture.h"

#include <zip.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

uint32_t GetLE32(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
         (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8) |
         (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24);
}

uint16_t GetLE16(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                               (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

}  // namespace

std::string BuildZip(const std::vector<ZipEntrySpec>& entries, const std::string& comment) {
  static std::atomic<unsigned> counter{0};
  const auto path = std::filesystem::temp_directory_path() /
                    ("morvane-zip-" +
                     std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                     "-" + std::to_string(counter++) + ".zip");
  const std::string narrow = path.string();
  zipFile zip = zipOpen64(narrow.c_str(), APPEND_STATUS_CREATE);
  Check(zip != nullptr, "zipOpen64");
  for (const ZipEntrySpec& e : entries) {
    zip_fileinfo info{};
    info.dosDate = e.dosDateTime;
    info.external_fa = e.externalAttributes;
    const bool raw = e.raw.has_value();
    Check(zipOpenNewFileInZip4_64(
              zip, e.name.c_str(), &info, e.localExtra.empty() ? nullptr : e.localExtra.data(),
              static_cast<uInt>(e.localExtra.size()), nullptr, 0, nullptr, e.method,
              e.method == 0 ? 0 : Z_DEFAULT_COMPRESSION, raw ? 1 : 0, -MAX_WBITS, 8,
              Z_DEFAULT_STRATEGY, nullptr, 0, e.versionMadeBy, e.flags, 0) == ZIP_OK,
          "zipOpenNewFileInZip4_64");
    const std::string& bytes = raw ? e.raw->bytes : e.data;
    if (!bytes.empty()) {
      Check(zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())) == ZIP_OK,
            "zipWriteInFileInZip");
    }
    if (raw) {
      Check(zipCloseFileInZipRaw(zip, e.raw->uncompressedSize, e.raw->crc) == ZIP_OK,
            "zipCloseFileInZipRaw");
    } else {
      Check(zipCloseFileInZip(zip) == ZIP_OK, "zipCloseFileInZip");
    }
  }
  Check(zipClose(zip, comment.empty() ? nullptr : comment.c_str()) == ZIP_OK, "zipClose");
  std::ifstream in(path, std::ios::binary);
  std::string result((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  return result;
}

ZipRecords FindRecords(const std::string& zip) {
  ZipRecords records;
  size_t end = zip.size() - 22;
  while (GetLE32(zip, end) != 0x06054b50u) --end;
  records.endRecord = end;
  const uint16_t count = GetLE16(zip, end + 10);
  size_t at = GetLE32(zip, end + 16);
  for (uint16_t i = 0; i < count; ++i) {
    records.central.push_back(at);
    records.local.push_back(GetLE32(zip, at + 42));
    at += 46 + GetLE16(zip, at + 28) + GetLE16(zip, at + 30) + GetLE16(zip, at + 32);
  }
  return records;
}

void PutLE16(std::string& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

void PutLE32(std::string& bytes, size_t at, uint32_t value) {
  PutLE16(bytes, at, static_cast<uint16_t>(value & 0xFFFF));
  PutLE16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

std::string ExtraBlock(uint16_t id, const std::string& data) {
  std::string block(4, '\0');
  PutLE16(block, 0, id);
  PutLE16(block, 2, static_cast<uint16_t>(data.size()));
  return block + data;
}

std::string ExtendedTimeBlock(uint8_t flags, const std::vector<int32_t>& values) {
  std::string data(1, static_cast<char>(flags));
  for (int32_t v : values) {
    std::string four(4, '\0');
    PutLE32(four, 0, static_cast<uint32_t>(v));
    data += four;
  }
  return ExtraBlock(0x5455, data);
}

RawEntryData DeflateThenDamage(const std::string& data) {
  z_stream stream{};
  Check(deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) == Z_OK,
        "deflateInit2");
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 64, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(out.size());
  // A full flush ends on a byte boundary without a final block, so the next
  // byte starts a new block header.
  Check(deflate(&stream, Z_FULL_FLUSH) == Z_OK, "deflate");
  out.resize(out.size() - stream.avail_out);
  deflateEnd(&stream);
  // Final bit set and block type 3, which does not exist.
  out += std::string(1, '\x07') + std::string(64, '\0');
  RawEntryData raw;
  raw.bytes = out;
  raw.uncompressedSize = static_cast<uint32_t>(data.size() + 1000);
  raw.crc = 0;
  return raw;
}

std::string VariedText(size_t size) {
  std::string text;
  text.reserve(size);
  uint32_t state = 12345;
  while (text.size() < size) {
    state = state * 1103515245u + 12345u;
    text.push_back(static_cast<char>('a' + (state >> 16) % 26));
    if ((state >> 8) % 11 == 0) text.push_back('\n');
  }
  text.resize(size);
  return text;
}
