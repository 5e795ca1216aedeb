#pragma once

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "http_client.h"
#include "unique_resource.h"

struct InternetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { WinHttpCloseHandle(h); }
};
using UniqueInternet = UniqueResource<InternetHandleTraits>;  // WinHTTP sessions, connections, requests

// An HttpClient over WinHTTP, synchronous. One WinHTTP session per client,
// so a client that keeps cookies keeps them for its own life and for no
// other client.
class WinHttpClient : public HttpClient {
 public:
  // Throws HttpFailure when WinHTTP cannot open a session.
  explicit WinHttpClient(const HttpClientSettings& settings);

  void SetContentType(const std::string& contentType) override { contentType_ = contentType; }
  void SetWorkEvents(HttpWorkEvents* events) override { events_ = events; }
  void Post(const std::string& url, const std::string& body, ReplySink& reply) override;
  void Get(const std::string& url, ReplySink& reply) override;
  void Cancel() override { cancelled_ = true; }

 private:
  static constexpr int kMaxRedirects = 10;

  void Exchange(const wchar_t* verb, const std::string& url, const std::string* body,
                ReplySink& reply);
  struct SentRequest;
  SentRequest Send(const wchar_t* verb, const std::string& url, const std::string* body);
  void Receive(HINTERNET request, ReplySink& reply);
  void ThrowIfCancelled() const;

  HttpClientSettings settings_;
  UniqueInternet session_;
  std::string contentType_;
  HttpWorkEvents* events_ = nullptr;  // not owned
  bool cancelled_ = false;
  bool busy_ = false;
};
