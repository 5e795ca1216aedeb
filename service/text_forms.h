#pragma once

#include <string>

// Cuts each UTF-16 code unit to its low 8 bits: the 8-bit form in which
// texts travel to the service.
std::string NarrowText(const std::wstring& text);
