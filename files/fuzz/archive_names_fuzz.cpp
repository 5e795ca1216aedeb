// Fuzz target: arbitrary bytes as an archive entry's stored name, as its
// local extra field, and (their first ten bytes) as its DOS time, version
// made by and external attributes. Checks what the rules promise:
// - the decoded name holds only Unicode scalar values, no more units than
//   bytes, and gives back the very bytes when they were valid UTF-8;
// - the relative name is a tail of the decoded one, has no drive, no leading
//   separator and no parent step left, and stays as it is when made
//   relative again;
// - a name the rules accept never leaves its base folder, reaches no device
//   and no stream, holds no character Windows refuses and fits a path;
// - an absolute target the rules accept reaches no device and no stream;
// - a DOS time accepted as a calendar time is one, and gives back its bits;
// - attributes carry only the bits a file may get;
// - times are read from an extended timestamp block only ("UT").
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive_names.h"

namespace {

void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "does not hold: %s\n", what);
    std::abort();
  }
}

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (wchar_t unit : text) {
    const auto cp = static_cast<uint32_t>(unit);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

bool Separator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::vector<std::wstring> Components(const std::wstring& path) {
  std::vector<std::wstring> parts(1);
  for (wchar_t c : path) {
    if (Separator(c)) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// What Windows opens for a component: trailing dots and spaces go.
std::wstring AsWindowsOpensIt(std::wstring component) {
  while (!component.empty() && (component.back() == L'.' || component.back() == L' ')) {
    component.pop_back();
  }
  return component;
}

// A device Windows reaches whatever extension follows the name.
bool NamesDevice(const std::wstring& component) {
  std::wstring stem = AsWindowsOpensIt(component.substr(0, component.find(L'.')));
  for (wchar_t& c : stem) {
    if (c >= L'a' && c <= L'z') c = c - L'a' + L'A';
  }
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (stem == device) return true;
  }
  if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0)) {
    return (stem[3] >= L'1' && stem[3] <= L'9');
  }
  return false;
}

bool RefusedByWindows(wchar_t c) {
  return c < 0x20 || std::wcschr(L"<>\"|?*:", c) != nullptr;
}

// The deepest a relative path climbs above its base, as Windows resolves
// it: ".." (after trimming) goes up, "." and empty components stay.
int LowestDepth(const std::wstring& path) {
  int depth = 0, lowest = 0;
  for (const std::wstring& component : Components(path)) {
    if (component.empty() || component == L".") continue;
    const std::wstring opened = AsWindowsOpensIt(component);
    if (opened.empty() || opened == L"..") {
      // Windows keeps ".." and turns a component of only dots and spaces
      // into a step up or into nothing: counted as a step up.
      --depth;
    } else {
      ++depth;
    }
    if (depth < lowest) lowest = depth;
  }
  return lowest;
}

void CheckDecodedName(const std::string& stored, const std::wstring& decoded) {
  Require(decoded.size() <= stored.size(), "no more units than bytes");
  bool replaced = false;
  for (wchar_t unit : decoded) {
    const auto cp = static_cast<uint32_t>(unit);
    if constexpr (sizeof(wchar_t) == 4) {
      Require(cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF), "only scalar values");
    }
    replaced = replaced || cp == 0xFFFD;
  }
  if (!replaced) Require(Utf8(decoded) == stored, "valid UTF-8 decodes to itself");
}

void CheckRelativeName(const std::wstring& decoded, const std::wstring& relative) {
  Require(relative.size() <= decoded.size() &&
              decoded.compare(decoded.size() - relative.size(), relative.size(), relative) == 0,
          "the relative name is a tail of the stored one");
  Require(relative.empty() || !Separator(relative[0]), "no leading separator");
  Require(relative.size() < 2 || relative[1] != L':', "no drive");
  for (const wchar_t* step : {L"\\..\\", L"\\../", L"/../", L"/..\\"}) {
    Require(relative.find(step) == std::wstring::npos, "no parent step");
  }
  Require(MakeRelativeName(relative) == relative, "relative once is relative");
}

void CheckContained(const std::wstring& name) {
  if (!IsContainedName(name)) return;
  Require(!name.empty() && name.size() <= kMaxPathLength, "a contained name fits a path");
  Require(!Separator(name[0]), "a contained name is relative");
  for (wchar_t c : name) Require(!RefusedByWindows(c), "no refused character, no stream");
  for (const std::wstring& component : Components(name)) {
    Require(!NamesDevice(component), "no device");
  }
  Require(LowestDepth(name) >= 0, "a contained name stays in its folder");
}

void CheckAbsoluteTarget(const std::wstring& name) {
  if (!IsWritableAbsoluteName(name)) return;
  Require(IsAbsoluteName(name) && name.size() <= kMaxPathLength, "an absolute target fits a path");
  const std::wstring rest = name.size() >= 2 && name[1] == L':' ? name.substr(2) : name;
  for (wchar_t c : rest) Require(!RefusedByWindows(c), "no refused character, no stream");
  for (const std::wstring& component : Components(rest)) {
    Require(!NamesDevice(component), "no device");
  }
}

uint32_t Little(const uint8_t* bytes, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count; ++i) value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
  return value;
}

void CheckDosTime(uint32_t dos) {
  const auto calendar = DosDateTimeToCalendar(dos);
  if (!calendar) return;
  const CalendarTime& t = *calendar;
  Require(t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour <= 23 &&
              t.minute <= 59 && t.second <= 59 && t.second % 2 == 0,
          "a calendar time in range");
  const uint32_t again = (static_cast<uint32_t>(t.year - 1980) << 25) |
                         (static_cast<uint32_t>(t.month) << 21) |
                         (static_cast<uint32_t>(t.day) << 16) |
                         (static_cast<uint32_t>(t.hour) << 11) |
                         (static_cast<uint32_t>(t.minute) << 5) |
                         static_cast<uint32_t>(t.second / 2);
  Require(again == dos, "the calendar time gives back its DOS bits");
}

void CheckExtraField(const uint8_t* data, size_t size) {
  // A copy of exactly the field's size: any read past it is caught.
  std::vector<unsigned char> field(data, data + size);
  const ExtendedTimes times = ReadExtendedTimes(field.data(), field.size());
  if (times.modification || times.access || times.creation) {
    bool hasBlock = false;
    for (size_t i = 0; i + 1 < size; ++i) hasBlock = hasBlock || (data[i] == 'U' && data[i + 1] == 'T');
    Require(hasBlock, "times come from a \"UT\" block");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string stored(reinterpret_cast<const char*>(data), size);
  const std::wstring decoded = DecodeEntryName(stored);
  CheckDecodedName(stored, decoded);
  const std::wstring relative = MakeRelativeName(decoded);
  CheckRelativeName(decoded, relative);
  CheckContained(relative);
  CheckContained(decoded);
  CheckAbsoluteTarget(decoded);
  CheckExtraField(data, size);
  if (size >= 10) {
    CheckDosTime(Little(data, 4));
    const uint32_t attributes =
        AttributesFromHost(static_cast<uint16_t>(Little(data + 4, 2)), Little(data + 6, 4));
    Require((attributes & ~(kAttributeReadOnly | kAttributeHidden | kAttributeSystem |
                            kAttributeDirectory | kAttributeArchive)) == 0,
            "only file attribute bits");
  }
  return 0;
}
