#pragma once

#include <optional>
#include <string>

// Texts of the service: the store keeps UTF-8, the wizard reads every value
// as Windows-1252 bytes.

// The Windows-1252 bytes of UTF-8 text; nothing when the text is not valid
// UTF-8 or holds a character that Windows-1252 lacks.
std::optional<std::string> Utf8ToWindows1252(const std::string& utf8);

// Windows-1252 bytes as UTF-8.
std::string Windows1252ToUtf8(const std::string& bytes);

// EncodeBase64 of the Windows-1252 form of UTF-8 text ("?" for what the
// code page lacks): how every text value of a reply is written.
std::string ReplyValue(const std::string& utf8);

// A name safe to send as an archive entry and to write on Windows: the last
// part of `name` after any "/" or "\", without control characters and
// without the characters Windows refuses in file names (each becomes "_"),
// without trailing dots and spaces, never a device name (CON, NUL, COM1...),
// never holding ".url" or ".jpg" (which the wizard takes for shortcuts and
// posters), at most 100 bytes, and never empty ("subtitle.srt" then).
std::string SafeEntryName(const std::string& name);
