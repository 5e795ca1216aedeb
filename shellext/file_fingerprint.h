#pragma once

#include <cstdint>
#include <filesystem>

// The fingerprint of a file read through the standard library, for programs
// beside the extension (the service's imports, the tests): the same value
// the extension computes. Throws std::runtime_error when the file cannot be
// opened for reading.
uint64_t FingerprintOfFile(const std::filesystem::path& path);
