#include "drop_list.h"

#include <cstdint>

namespace {

constexpr std::size_t kHeaderSize = 20;       // offset, point (2 x 4), non-client flag, wide flag
constexpr std::size_t kWideFlagOffset = 16;

uint32_t LittleEndian32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

}  // namespace

DropList ReadDropList(const void* block, std::size_t size, std::size_t maxNames) {
  DropList list;
  const auto* bytes = static_cast<const unsigned char*>(block);
  if (!bytes || size < kHeaderSize) return list;
  const uint32_t namesOffset = LittleEndian32(bytes);
  if (namesOffset < kHeaderSize || namesOffset >= size) return list;
  if (LittleEndian32(bytes + kWideFlagOffset) == 0) {
    list.form = DropList::Form::Narrow;
    return list;
  }

  // Whole UTF-16 units only; a name still open at the block's end is damage.
  const std::size_t units = (size - namesOffset) / 2;
  const unsigned char* at = bytes + namesOffset;
  std::wstring name;
  for (std::size_t i = 0; i < units; ++i, at += 2) {
    const wchar_t unit = static_cast<wchar_t>(at[0] | (at[1] << 8));
    if (unit != 0) {
      name.push_back(unit);
      continue;
    }
    if (name.empty()) {  // the empty name ends the list
      list.form = DropList::Form::Wide;
      return list;
    }
    if (list.names.size() == maxNames) {
      list.moreNames = true;
      list.form = DropList::Form::Wide;
      return list;
    }
    list.names.push_back(std::move(name));
    name.clear();
  }
  list.names.clear();
  return list;
}
