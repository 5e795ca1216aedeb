#include "service_request.h"

#include "service_endpoints.h"
#include "service_hosts.h"
#include "text_forms.h"

std::string ServiceUrl(const std::string& pathAndQuery) {
  return std::string("http://") + kServiceHost + pathAndQuery;
}

std::string VersionCheckUrl() {
  return ServiceUrl(std::string(kVersionPath) + "?lang=es&ver=" +
                    std::to_string(kServiceProtocolVersion));
}

std::string ClosingPageUrl() {
  return ServiceUrl(std::string(kClosingPagePath) + "?ver=" +
                    std::to_string(kServiceProtocolVersion));
}

std::string PosterUrl(int32_t filmNumber) {
  return std::string("http://") + kImageHost + "/cover-" + std::to_string(filmNumber) +
         "-128-198.jpg";
}

void SendServiceRequest(HttpClient& client, const std::string& path, const std::wstring& body,
                        ReplySink& reply) {
  client.SetContentType(kFormContentType);
  client.Post(ServiceUrl(path), TextToAnsi(body), reply);
}

ReplyDocumentRef LoadReplyDocument(const MemoryReplySink& reply) {
  return LoadReplyDocument(reply.bytes());
}
