#pragma once

#include <cstddef>
#include <cstdint>

// How the service's request fuzzer reads an input: byte 0 names the POST
// path the body goes to (modulo kServiceEndpoints), the rest is the body.
enum class ServiceEndpoint : uint8_t { MovieByHash, BestSubtitle, SubtitleList, SubtitleFiles };
inline constexpr uint8_t kServiceEndpoints = 4;

// The videos of the fuzzer's library: their fingerprints and the "hash"
// field the wizard sends for each (Base64 of the fingerprint's text).
inline constexpr uint64_t kLibraryFingerprints[] = {0x0123456789abcdefULL, 0xfedcba9876543210ULL};
inline constexpr const char* kLibraryHashes[] = {"MDEyMzQ1Njc4OWFiY2RlZg==",
                                                 "ZmVkY2JhOTg3NjU0MzIxMA=="};
// The language the extension asks for, and the film with a poster.
inline constexpr int32_t kLibraryLanguage = 42;
inline constexpr int64_t kLibraryFilm = 1001;
