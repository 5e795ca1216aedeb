#pragma once

#include <string>

#include "http_client.h"
#include "memory_reply_sink.h"
#include "reply_document.h"

// One form-encoded POST to a path of the service host: sets the client's
// content type to "application/x-www-form-urlencoded", sends the body text
// as ANSI bytes (the content length is their count) and returns once the
// whole reply is in `reply`. Raises HttpFailure on any transport failure or
// error status, and whatever the sink raises.
void SendServiceRequest(HttpClient& client, const std::string& path, const std::wstring& body,
                        ReplySink& reply);

// The reply document of a whole reply buffer (see LoadReplyDocument).
ReplyDocumentRef LoadReplyDocument(const MemoryReplySink& reply);
