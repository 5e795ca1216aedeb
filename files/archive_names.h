#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "file_operations.h"

// Rules of the archive reader that need neither minizip nor a file system:
// how a stored name becomes a safe relative name, attributes, times.

// The longest path or name Windows accepts without its long-path prefix,
// not counting the terminating zero.
inline constexpr size_t kMaxPathLength = 259;

// "\" and "/" both separate folders in entry names and paths.
inline bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Stored name bytes read as UTF-8, whatever the entry's flags say. A byte
// that does not start or continue a valid sequence becomes U+FFFD.
std::wstring DecodeEntryName(const std::string& bytes);

// Strips drive prefixes, leading separators and everything up to a
// "\..\", "\../", "/../" or "/..\", repeatedly, until none is left.
std::wstring MakeRelativeName(std::wstring name);

// True when `name` can be written under a base folder without leaving it:
// no component that climbs up ("..", or only dots and spaces), no Windows
// device name (CON, NUL, COM1, LPT1 ..., with or without extension), no
// colon (drive or alternate data stream), no character Windows refuses in a
// file name, no leading separator, and at most kMaxPathLength units.
bool IsContainedName(const std::wstring& name);

// True when the name begins with "\" or "/" or has ":" as its second
// character.
bool IsAbsoluteName(const std::wstring& name);

// Same checks for an absolute target chosen by a caller: the drive prefix and
// leading separators are allowed, parent steps too; device names, later
// colons, refused characters and over-long paths are not.
bool IsWritableAbsoluteName(const std::wstring& name);

// Attribute bits from the central directory's version-made-by field and
// external attributes: DOS-style bits for hosts 0, 7, 11 and 14, Unix mode
// bits for the others.
uint32_t AttributesFromHost(uint16_t versionMadeBy, uint32_t externalAttributes);

// The DOS date (high 16 bits) and time (low 16 bits) as calendar fields;
// nothing when they form no valid calendar time (month 0, day 31 of April,
// hour 24, second 60 ...).
std::optional<CalendarTime> DosDateTimeToCalendar(uint32_t dosDateTime);

// The time given to an entry whose DOS date or time is invalid:
// 1980-01-01 00:00:00 UTC, the first moment a DOS time can express.
inline constexpr int64_t kInvalidDosFileTime = 119600064000000000LL;

// Seconds since 1970-01-01 00:00 UTC as 100-nanosecond intervals since 1601.
int64_t UnixSecondsToFileTime(int32_t seconds);

// Times found in an Info-ZIP extended timestamp ("UT") block.
struct ExtendedTimes {
  std::optional<int64_t> modification;
  std::optional<int64_t> access;
  std::optional<int64_t> creation;
};

// Walks the blocks of a local extra field and reads the first "UT" block;
// values that do not lie wholly inside the field are not read.
ExtendedTimes ReadExtendedTimes(const unsigned char* field, size_t length);
