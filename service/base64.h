#pragma once

#include <string>

// Standard Base64 (alphabet A-Z a-z 0-9 + /, "=" fill, no line breaks), the
// form in which the service receives and sends every value.
std::string EncodeBase64(const std::string& bytes);

// Lenient decoding: stops at the first "=" or at the first character outside
// the alphabet and ignores the rest; a last group of k characters (1 <= k <= 3)
// gives k - 1 bytes. Never fails.
std::string DecodeBase64(const std::string& text);
