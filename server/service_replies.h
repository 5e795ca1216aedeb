#pragma once

#include <cstddef>
#include <string>

#include "subtitle_store.h"

// What the service answers to each POST, from the request body exactly as
// it arrived, without HTTP: the routes of SubtitleService send these
// replies, and the fuzzer feeds the same functions.

// Entries in a subtitle list reply: the wizard's "Top 10".
inline constexpr size_t kListedSubtitles = 10;

// A reply before it goes on the wire.
struct ServiceReply {
  int status = 200;
  std::string body;
  std::string contentType = "text/xml";
};

// A refusal: the status and one line of plain text that says why.
ServiceReply BadRequest(const std::string& why, int status = 400);

// The film lookup, the best subtitle, the list and the archive of one or
// of the ticked subtitles. A body that cannot be read gets a refusal (400,
// or 404 for a subtitle that does not exist); a failure of the store is
// thrown for the caller to answer.
ServiceReply MovieByHashReply(SubtitleStore& store, const std::string& body);
ServiceReply BestSubtitleReply(SubtitleStore& store, const std::string& body);
ServiceReply SubtitleListReply(SubtitleStore& store, const std::string& body);
ServiceReply SubtitleFilesReply(SubtitleStore& store, const std::string& body);
