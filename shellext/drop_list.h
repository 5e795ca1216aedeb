#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The files of a drop list, the block the shell hands a context-menu
// handler for a selection (clipboard format CF_HDROP): a 20-byte header
// whose first field is the offset of the names and whose last says whether
// they are UTF-16, then the names, each ending in a zero, the list ending in
// an empty name.
struct DropList {
  enum class Form {
    Wide,     // UTF-16 names, read into `names`
    Narrow,   // 8-bit names in the system's code page, left to the platform
    Damaged,  // the header, a name or the list's end lies outside the block
  };
  Form form = Form::Damaged;
  std::vector<std::wstring> names;  // Wide: the names in the list's order
  bool moreNames = false;           // Wide: more names follow the ones read
};

// Reads the block of `size` bytes in one pass, at most `maxNames` names
// (the rest are only known to be there). Nothing outside the block is read.
DropList ReadDropList(const void* block, std::size_t size, std::size_t maxNames);
