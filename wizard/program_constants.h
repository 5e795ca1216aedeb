#pragma once

// Shown in window captions and the tray balloon: "Subtítulos 1.0". The
// protocol version sent to the service lives with the service's endpoints.
inline constexpr wchar_t kDisplayVersion[] = L"1.0";
