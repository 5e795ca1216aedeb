#include "zip_builder.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <stdexcept>

namespace {

// minizip writes through these callbacks into a string instead of a file.
struct MemoryFile {
  std::string bytes;
  size_t position = 0;
};

voidpf ZCALLBACK OpenMemory(voidpf opaque, const void*, int) { return opaque; }

uLong ZCALLBACK ReadMemory(voidpf, voidpf stream, void* buffer, uLong size) {
  auto* file = static_cast<MemoryFile*>(stream);
  const size_t count = std::min<size_t>(size, file->bytes.size() - std::min(file->position, file->bytes.size()));
  std::memcpy(buffer, file->bytes.data() + file->position, count);
  file->position += count;
  return static_cast<uLong>(count);
}

uLong ZCALLBACK WriteMemory(voidpf, voidpf stream, const void* buffer, uLong size) {
  auto* file = static_cast<MemoryFile*>(stream);
  if (file->position > file->bytes.size()) file->bytes.resize(file->position);
  const size_t overlap = std::min<size_t>(size, file->bytes.size() - file->position);
  file->bytes.replace(file->position, overlap, static_cast<const char*>(buffer), size);
  file->position += size;
  return size;
}

ZPOS64_T ZCALLBACK TellMemory(voidpf, voidpf stream) {
  return static_cast<MemoryFile*>(stream)->position;
}

long ZCALLBACK SeekMemory(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* file = static_cast<MemoryFile*>(stream);
  ZPOS64_T base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = file->position;
  if (origin == ZLIB_FILEFUNC_SEEK_END) base = file->bytes.size();
  file->position = static_cast<size_t>(base + offset);
  return 0;
}

int ZCALLBACK CloseMemory(voidpf, voidpf) { return 0; }
int ZCALLBACK MemoryError(voidpf, voidpf) { return 0; }

// "name.srt" -> "name (2).srt" for the second file of that name.
std::string UniqueName(const std::string& name, std::set<std::string>& taken) {
  auto key = [](std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
  };
  std::string candidate = name;
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string extension = stem.size() == name.size() ? "" : name.substr(dot);
  for (int n = 2; taken.count(key(candidate)); ++n) {
    candidate = stem + " (" + std::to_string(n) + ")" + extension;
  }
  taken.insert(key(candidate));
  return candidate;
}

zip_fileinfo EntryTime(const std::string& date) {
  zip_fileinfo info{};
  info.tmz_date.tm_year = 1980;
  info.tmz_date.tm_mday = 1;
  int year = 0, month = 0, day = 0;
  if (std::sscanf(date.c_str(), "%4d-%2d-%2d", &year, &month, &day) == 3 && year >= 1980 &&
      year < 2108 && month >= 1 && month <= 12 && day >= 1 && day <= 31) {
    info.tmz_date.tm_year = static_cast<uInt>(year);
    info.tmz_date.tm_mon = static_cast<uInt>(month - 1);
    info.tmz_date.tm_mday = static_cast<uInt>(day);
    info.tmz_date.tm_hour = 12;
  }
  return info;
}

}  // namespace

std::string BuildArchive(const std::vector<ArchiveFile>& files) {
  MemoryFile memory;
  zlib_filefunc64_def functions{};
  functions.zopen64_file = OpenMemory;
  functions.zread_file = ReadMemory;
  functions.zwrite_file = WriteMemory;
  functions.ztell64_file = TellMemory;
  functions.zseek64_file = SeekMemory;
  functions.zclose_file = CloseMemory;
  functions.zerror_file = MemoryError;
  functions.opaque = &memory;

  zipFile zip = zipOpen2_64("memory", APPEND_STATUS_CREATE, nullptr, &functions);
  if (!zip) throw std::runtime_error("cannot start the archive");
  std::set<std::string> taken;
  bool ok = true;
  for (const ArchiveFile& file : files) {
    const std::string name = UniqueName(file.name, taken);
    const zip_fileinfo info = EntryTime(file.date);
    constexpr uLong kUtf8Names = 1u << 11;
    ok = zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                 Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                 Z_DEFAULT_STRATEGY, nullptr, 0, 0, kUtf8Names, 0) == ZIP_OK &&
         zipWriteInFileInZip(zip, file.bytes.data(), static_cast<unsigned>(file.bytes.size())) ==
             ZIP_OK &&
         zipCloseFileInZip(zip) == ZIP_OK;
    if (!ok) break;
  }
  if (zipClose(zip, nullptr) != ZIP_OK || !ok) throw std::runtime_error("cannot write the archive");
  return memory.bytes;
}
