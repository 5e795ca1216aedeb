#pragma once

#include <string>

// UTF-16 (or, natively, UTF-32) text as UTF-8: the form of failure texts
// that the application's exception report shows.
std::string Utf8(const std::wstring& text);
