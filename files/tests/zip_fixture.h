#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Small ZIP archives built by the tests themselves: well-formed ones through
// minizip's zip API, damaged ones by patching their bytes afterwards.

// 2021-03-04 05:06:08 as a DOS date (high half) and time (low half).
inline constexpr uint32_t kFixtureDosTime = 0x526428C4u;

// Data written as it stands (an already deflated stream, possibly damaged),
// with the size and CRC the headers shall claim.
struct RawEntryData {
  std::string bytes;
  uint32_t uncompressedSize = 0;
  uint32_t crc = 0;
};

struct ZipEntrySpec {
  std::string name;
  std::string data;
  uint32_t dosDateTime = kFixtureDosTime;
  uint16_t versionMadeBy = 0;          // host in the high byte: 0 MS-DOS, 3 Unix, 11 NTFS
  uint32_t externalAttributes = 0x20;  // DOS archive bit
  std::string localExtra;
  int method = 8;      // 8 deflate, 0 stored
  uint16_t flags = 0;  // general-purpose bits (1: encrypted)
  std::optional<RawEntryData> raw;
};

// The archive's bytes.
std::string BuildZip(const std::vector<ZipEntrySpec>& entries, const std::string& comment = {});

// Offsets of the records of an archive made by BuildZip.
struct ZipRecords {
  std::vector<size_t> central;  // central directory record of each entry
  std::vector<size_t> local;    // local header of each entry
  size_t endRecord = 0;
};
ZipRecords FindRecords(const std::string& zip);

void PutLE16(std::string& bytes, size_t at, uint16_t value);
void PutLE32(std::string& bytes, size_t at, uint32_t value);

// One extra-field block: identifier, 16-bit size, data.
std::string ExtraBlock(uint16_t id, const std::string& data);
// An Info-ZIP "UT" block with the flags and the values that follow them.
std::string ExtendedTimeBlock(uint8_t flags, const std::vector<int32_t>& values);

// A raw deflate stream of `data` that is cut off by an invalid block right
// after it, so inflating fails once `data` is out.
RawEntryData DeflateThenDamage(const std::string& data);

// Text of `size` bytes that deflate cannot shrink much.
std::string VariedText(size_t size);
