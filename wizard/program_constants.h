#pragma once

// Shown in window captions: "Subtítulos 1.0".
inline constexpr wchar_t kDisplayVersion[] = L"1.0";

// Sent as the "version" form field of every service request and as the
// "ver" query field of the version check and the closing page.
inline constexpr int kProtocolVersion = 100;
