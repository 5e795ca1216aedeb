#pragma once

#include <string>

// The full address that `location`, as a redirect names it, stands for:
// an absolute address as it is; "//host/path" with the base's scheme; a
// path from the root on the base's host; any other text relative to the
// folder of the base's path.
std::string ResolveAddress(const std::string& base, const std::string& location);
