#pragma once

#include <windows.h>
#include <winhttp.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "http_client.h"
#include "unique_resource.h"

struct InternetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { WinHttpCloseHandle(h); }
};
using UniqueInternet = UniqueResource<InternetHandleTraits>;  // WinHTTP sessions, connections, requests

// One exchange on the wire, shared by the thread that waits for it and the
// worker thread that makes it.
struct WinHttpTransfer;

// An HttpClient over WinHTTP. One WinHTTP session per client, so a client
// that keeps cookies keeps them for its own life and for no other client.
//
// A request blocks its caller as the interface says, but the exchange itself
// (name lookup, connecting, sending, waiting for the reply, reading it) runs
// on a worker thread: the caller's thread waits for it in a message loop and
// stays live. The reply's bytes are written to the sink, and the work events
// raised, on the caller's thread only. A cancel ends the waiting request at
// once; an exchange still blocked in WinHTTP is abandoned to its worker,
// which drops whatever comes and ends by itself (at the latest when the
// client's time limits pass). A reply whose body comes slower than the
// settings' pace (TransferPace) fails the same way, and so does one that
// announces more than its sink takes.
class WinHttpClient : public HttpClient {
 public:
  // Throws HttpFailure when WinHTTP cannot open a session.
  explicit WinHttpClient(const HttpClientSettings& settings);
  ~WinHttpClient() override;
  WinHttpClient(const WinHttpClient&) = delete;
  WinHttpClient& operator=(const WinHttpClient&) = delete;

  // Called while a request waits whenever messages arrive for the calling
  // thread; it should dispatch them. Without one the request only waits.
  void SetMessagePump(std::function<void()> pump) { pump_ = std::move(pump); }

  void SetContentType(const std::string& contentType) override { contentType_ = contentType; }
  void SetWorkEvents(HttpWorkEvents* events) override { events_ = events; }
  void Post(const std::string& url, const std::string& body, ReplySink& reply) override;
  void Get(const std::string& url, ReplySink& reply) override;
  void Cancel() override;

 private:
  void Exchange(const wchar_t* verb, const std::string& url, const std::string* body,
                ReplySink& reply);
  // Waits for the worker's next piece, at most `milliseconds`.
  void Wait(HANDLE wake, DWORD milliseconds);
  void ThrowIfCancelled() const;

  HttpClientSettings settings_;
  UniqueInternet session_;
  std::string contentType_;
  HttpWorkEvents* events_ = nullptr;  // not owned
  std::function<void()> pump_;
  std::shared_ptr<WinHttpTransfer> active_;  // the request under way, if any
  std::vector<UniqueHandle> workers_;        // worker threads not known to have ended
  bool cancelled_ = false;
  bool busy_ = false;
};

// A GET that runs by itself and whose reply nobody reads, as a page loaded
// out of sight. Its owner holds it; when the owner lets it go, a request not
// yet sent gets a short moment to go out, and the rest of the exchange is
// abandoned.
class WinHttpBackgroundGet {
 public:
  // Starts at once; a request that cannot even start is silently dropped.
  WinHttpBackgroundGet(const HttpClientSettings& settings, const std::string& url);
  ~WinHttpBackgroundGet();
  WinHttpBackgroundGet(const WinHttpBackgroundGet&) = delete;
  WinHttpBackgroundGet& operator=(const WinHttpBackgroundGet&) = delete;

  // The whole reply has arrived, or the exchange failed.
  bool Finished() const;

 private:
  UniqueInternet session_;
  std::shared_ptr<WinHttpTransfer> transfer_;
  UniqueHandle worker_;
};
