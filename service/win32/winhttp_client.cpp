#include "winhttp_client.h"

#include <cstdint>
#include <vector>

#include "code_page.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  throw HttpFailure(std::string(what) + " (error " + std::to_string(GetLastError()) + ")");
}

std::wstring Wide(const std::string& text) { return CodePageToWide(text, CP_UTF8); }

bool SetFeatureDisabled(HINTERNET request, DWORD feature) {
  return WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof(feature));
}

DWORD StatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    Fail("no status in the reply");
  }
  return status;
}

// The announced length of the reply body, or -1 when none was announced.
int64_t ContentLength(HINTERNET request) {
  wchar_t text[32] = {};
  DWORD size = sizeof(text);
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                           text, &size, WINHTTP_NO_HEADER_INDEX)) {
    return -1;
  }
  int64_t length = 0;
  for (const wchar_t* c = text; *c; ++c) {
    if (*c < L'0' || *c > L'9' || length > (INT64_MAX - 9) / 10) return -1;
    length = length * 10 + (*c - L'0');
  }
  return length;
}

// Marks the client busy for one request.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : busy_(busy) {
    if (busy_) throw HttpFailure("client already running a request");
    busy_ = true;
  }
  ~BusyScope() { busy_ = false; }

 private:
  bool& busy_;
};

}  // namespace

WinHttpClient::WinHttpClient(const HttpClientSettings& settings) : settings_(settings) {
  session_.reset(WinHttpOpen(Wide(kUserAgent).c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY,
                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session_) Fail("cannot open an HTTP session");
  const HttpTimeouts& t = settings_.timeouts;
  if (!WinHttpSetTimeouts(session_.get(), t.resolveMs, t.connectMs, t.sendMs, t.receiveMs)) {
    Fail("cannot set the HTTP time limits");
  }
  // Waiting for the reply's headers has a limit of its own, which
  // WinHttpSetTimeouts leaves alone.
  DWORD headersMs = static_cast<DWORD>(t.receiveMs);
  if (!WinHttpSetOption(session_.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersMs,
                        sizeof(headersMs))) {
    Fail("cannot set the HTTP time limits");
  }
}

void WinHttpClient::Post(const std::string& url, const std::string& body, ReplySink& reply) {
  Exchange(L"POST", url, &body, reply);
}

void WinHttpClient::Get(const std::string& url, ReplySink& reply) {
  Exchange(L"GET", url, nullptr, reply);
}

void WinHttpClient::ThrowIfCancelled() const {
  if (cancelled_) throw HttpFailure("transfer cancelled");
}

void WinHttpClient::Exchange(const wchar_t* verb, const std::string& url, const std::string* body,
                             ReplySink& reply) {
  BusyScope busy(busy_);
  cancelled_ = false;

  std::wstring wideUrl = Wide(url);
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts)) {
    Fail("not an address");
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTP) throw HttpFailure("not a plain HTTP address");
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength);
  target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.empty()) target = L"/";

  UniqueInternet connection(WinHttpConnect(session_.get(), host.c_str(), parts.nPort, 0));
  if (!connection) Fail("cannot connect");
  UniqueInternet request(WinHttpOpenRequest(connection.get(), verb, target.c_str(), nullptr,
                                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  if (!request) Fail("cannot open the request");

  // Automatic sign-in would answer a server's challenge for us; cookies and
  // redirects are the client's own settings.
  if (!SetFeatureDisabled(request.get(), WINHTTP_DISABLE_AUTHENTICATION)) {
    Fail("cannot turn off authentication");
  }
  if (!settings_.keepCookies && !SetFeatureDisabled(request.get(), WINHTTP_DISABLE_COOKIES)) {
    Fail("cannot turn off cookies");
  }
  if (!settings_.followRedirects && !SetFeatureDisabled(request.get(), WINHTTP_DISABLE_REDIRECTS)) {
    Fail("cannot turn off redirects");
  }

  std::string headers = std::string("Accept: ") + kAcceptHeader + "\r\n";
  if (body && !contentType_.empty()) headers += "Content-Type: " + contentType_ + "\r\n";
  const std::wstring wideHeaders = Wide(headers);

  const DWORD bodySize = body ? static_cast<DWORD>(body->size()) : 0;
  void* bodyData = body && !body->empty() ? const_cast<char*>(body->data()) : WINHTTP_NO_REQUEST_DATA;
  if (!WinHttpSendRequest(request.get(), wideHeaders.c_str(), static_cast<DWORD>(wideHeaders.size()),
                          bodyData, bodySize, bodySize, 0)) {
    Fail("cannot send the request");
  }
  if (!WinHttpReceiveResponse(request.get(), nullptr)) Fail("no reply");

  const DWORD status = StatusCode(request.get());
  if (status < 200 || status > 299) throw HttpFailure("HTTP status " + std::to_string(status));
  Receive(request.get(), reply);
}

void WinHttpClient::Receive(HINTERNET request, ReplySink& reply) {
  const int64_t expected = ContentLength(request);
  if (events_) events_->WorkBegin(expected > 0 ? expected : 0);
  try {
    ThrowIfCancelled();
    std::vector<char> buffer(64 * 1024);
    int64_t received = 0;
    for (;;) {
      DWORD read = 0;
      if (!WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
        Fail("reply broken off");
      }
      if (read == 0) break;
      reply.Write(buffer.data(), read);
      received += read;
      if (events_) events_->Work(received);
      ThrowIfCancelled();
    }
    if (expected >= 0 && received < expected) throw HttpFailure("reply shorter than announced");
  } catch (...) {
    if (events_) {
      try {
        events_->WorkEnd();
      } catch (...) {
        // The transfer's own failure is the one to report.
      }
    }
    throw;
  }
  if (events_) events_->WorkEnd();
}
