#include "archive_names.h"

#include <array>

namespace {

void AppendCodePoint(std::wstring& out, uint32_t cp) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
      return;
    }
  }
  out.push_back(static_cast<wchar_t>(cp));
}

wchar_t ToUpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c; }

// CON, PRN, AUX, NUL, COM0-9, LPT0-9 (also with the superscript digits
// Windows accepts), CONIN$ and CONOUT$: opening them reaches a device, not a
// file. Windows ignores what follows the first dot and trailing spaces.
bool IsDeviceName(const std::wstring& component) {
  std::wstring stem = component.substr(0, component.find(L'.'));
  while (!stem.empty() && (stem.back() == L' ' || stem.back() == L'.')) stem.pop_back();
  for (auto& c : stem) c = ToUpperAscii(c);
  static const std::array<const wchar_t*, 6> kPlain = {L"CON", L"PRN",    L"AUX",
                                                       L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* plain : kPlain) {
    if (stem == plain) return true;
  }
  if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0)) {
    const wchar_t digit = stem[3];
    return (digit >= L'0' && digit <= L'9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

bool IsRefusedCharacter(wchar_t c) {
  return c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*' ||
         c == L':';
}

// A component made of dots and spaces alone (other than "."): Windows reads
// ".." as the parent and trims trailing dots and spaces, so "...", ". ." and
// the like may end up as a parent step too.
bool ClimbsUp(const std::wstring& component) {
  if (component.empty() || component == L".") return false;
  for (wchar_t c : component) {
    if (c != L'.' && c != L' ') return false;
  }
  return true;
}

// Checks the components of `path` from `start` on.
bool ComponentsAreWritable(const std::wstring& path, size_t start, bool allowParent) {
  size_t begin = start;
  while (begin <= path.size()) {
    size_t end = begin;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::wstring component = path.substr(begin, end - begin);
    for (wchar_t c : component) {
      if (IsRefusedCharacter(c)) return false;
    }
    if (!(allowParent && component == L"..") && ClimbsUp(component)) return false;
    if (IsDeviceName(component)) return false;
    begin = end + 1;
  }
  return true;
}

}  // namespace

std::wstring DecodeEntryName(const std::string& bytes) {
  std::wstring out;
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    uint32_t cp = 0;
    size_t extra = 0;
    uint32_t min = 0;
    if (b < 0x80) {
      out.push_back(static_cast<wchar_t>(b));
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      cp = b & 0x1F, extra = 1, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      cp = b & 0x0F, extra = 2, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      cp = b & 0x07, extra = 3, min = 0x10000;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    size_t k = 1;
    for (; k <= extra && i + k < n; ++k) {
      const auto c = static_cast<unsigned char>(bytes[i + k]);
      if ((c & 0xC0) != 0x80) break;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (k <= extra || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      // An incomplete or overlong sequence: one replacement for its lead
      // byte, then go on with the next byte.
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    AppendCodePoint(out, cp);
    i += extra + 1;
  }
  return out;
}

std::wstring MakeRelativeName(std::wstring name) {
  static const std::array<const wchar_t*, 4> kParentSteps = {L"\\..\\", L"\\../", L"/../",
                                                             L"/..\\"};
  for (;;) {
    if (name.size() >= 2 && name[1] == L':') {
      name.erase(0, 2);
      continue;
    }
    if (!name.empty() && IsSeparator(name[0])) {
      name.erase(0, 1);
      continue;
    }
    bool stripped = false;
    for (const wchar_t* step : kParentSteps) {
      const size_t at = name.find(step);
      if (at != std::wstring::npos) {
        name.erase(0, at + 4);
        stripped = true;
        break;
      }
    }
    if (!stripped) return name;
  }
}

bool IsContainedName(const std::wstring& name) {
  if (name.empty() || name.size() > kMaxPathLength) return false;
  if (IsSeparator(name[0])) return false;
  return ComponentsAreWritable(name, 0, false);
}

bool IsAbsoluteName(const std::wstring& name) {
  return (!name.empty() && IsSeparator(name[0])) || (name.size() >= 2 && name[1] == L':');
}

bool IsWritableAbsoluteName(const std::wstring& name) {
  if (name.size() > kMaxPathLength || !IsAbsoluteName(name)) return false;
  size_t start = 0;
  if (name.size() >= 2 && name[1] == L':') start = 2;
  while (start < name.size() && IsSeparator(name[start])) ++start;
  return ComponentsAreWritable(name, start, true);
}

uint32_t AttributesFromHost(uint16_t versionMadeBy, uint32_t externalAttributes) {
  const unsigned host = versionMadeBy >> 8;
  if (host == 0 || host == 7 || host == 11 || host == 14) {
    return externalAttributes & (kAttributeReadOnly | kAttributeHidden | kAttributeSystem |
                                 kAttributeDirectory | kAttributeArchive);
  }
  uint32_t attributes = kAttributeArchive;
  if (externalAttributes & 0x40000000u) attributes |= kAttributeDirectory;
  if (!(externalAttributes & 0x00800000u)) attributes |= kAttributeReadOnly;
  return attributes;
}

std::optional<CalendarTime> DosDateTimeToCalendar(uint32_t dosDateTime) {
  const uint32_t date = dosDateTime >> 16;
  const uint32_t time = dosDateTime & 0xFFFF;
  CalendarTime t;
  t.year = static_cast<int>(((date >> 9) & 0x7F) + 1980);
  t.month = static_cast<int>((date >> 5) & 0x0F);
  t.day = static_cast<int>(date & 0x1F);
  t.hour = static_cast<int>((time >> 11) & 0x1F);
  t.minute = static_cast<int>((time >> 5) & 0x3F);
  t.second = static_cast<int>((time & 0x1F) * 2);
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  static const std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
  const int days = kDays[static_cast<size_t>(t.month - 1)] + ((t.month == 2 && leap) ? 1 : 0);
  if (t.day > days) return std::nullopt;
  return t;
}

int64_t UnixSecondsToFileTime(int32_t seconds) {
  return static_cast<int64_t>(seconds) * 10000000LL + 116444736000000000LL;
}

ExtendedTimes ReadExtendedTimes(const unsigned char* field, size_t length) {
  ExtendedTimes times;
  size_t pos = 0;
  while (pos + 4 < length) {
    const unsigned id = field[pos] | (field[pos + 1] << 8);
    const size_t size = field[pos + 2] | (field[pos + 3] << 8);
    if (id != 0x5455) {  // "UT"
      pos += size + 4;
      continue;
    }
    const size_t data = pos + 4;
    const unsigned flags = field[data];
    size_t at = data + 1;
    auto next = [&](std::optional<int64_t>& slot) {
      if (at + 4 > length) return;
      const uint32_t raw = static_cast<uint32_t>(field[at]) |
                           (static_cast<uint32_t>(field[at + 1]) << 8) |
                           (static_cast<uint32_t>(field[at + 2]) << 16) |
                           (static_cast<uint32_t>(field[at + 3]) << 24);
      slot = UnixSecondsToFileTime(static_cast<int32_t>(raw));
      at += 4;
    };
    if (flags & 0x01) next(times.modification);
    if (flags & 0x02) next(times.access);
    if (flags & 0x04) next(times.creation);
    break;
  }
  return times;
}
