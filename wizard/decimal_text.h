#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A decimal signed 32-bit integer: an optional sign followed by digits and
// nothing else; nothing when the text is not such a number or out of range.
std::optional<int32_t> ParseDecimalInt32(const std::wstring& text);
