#pragma once

#include <string>

// Whether the version reply names a newer version that may be handed to the
// shell: only a web address (http:// or https://, any letter case, with
// something after the scheme). The reply travels over plain HTTP, so a file
// path, a share or any other scheme is treated as "no newer version".
bool IsNewVersionAddress(const std::wstring& reply);
