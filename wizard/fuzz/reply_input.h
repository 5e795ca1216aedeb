#pragma once

#include <cstddef>
#include <cstdint>

// How the reply fuzzer reads an input: byte 0 names the exchange whose
// reply the input carries (modulo kReplyExchanges), byte 1 holds the user's
// choices, and the rest is the reply's bytes.
enum class ReplyExchange : uint8_t { SubtitleList, FilmLookup, BestSubtitle, VersionCheck };
inline constexpr uint8_t kReplyExchanges = 4;
inline constexpr size_t kReplyInputHeader = 2;

// Choice bits: the answer to the update question, and which subtitle rows
// the user leaves ticked (row i: bit kFirstRowBit + i % kRowBits).
inline constexpr uint8_t kAnswerYesBit = 0x01;
inline constexpr int kFirstRowBit = 1;
inline constexpr int kRowBits = 7;
