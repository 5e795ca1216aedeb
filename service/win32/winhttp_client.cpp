#include "winhttp_client.h"

#include <cstdint>
#include <vector>

#include "code_page.h"
#include "http_address.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  const DWORD error = GetLastError();
  throw HttpFailure(std::string(what) + " (error " + std::to_string(error) + ")");
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

// The Location header of a redirect, or "" when it has none.
std::string Location(HINTERNET request) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                      WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::wstring location(size / sizeof(wchar_t), L'\0');
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                           location.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  location.resize(size / sizeof(wchar_t));
  return WideToCodePage(location, CP_UTF8);
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

// One request on the wire: its connection and the request itself, closed
// in that order's reverse.
struct WinHttpClient::SentRequest {
  UniqueInternet connection;
  UniqueInternet request;
};

void WinHttpClient::Exchange(const wchar_t* verb, const std::string& url, const std::string* body,
                             ReplySink& reply) {
  BusyScope busy(busy_);
  cancelled_ = false;

  // Redirects are followed here rather than by WinHTTP, which (under Wine)
  // cannot send a redirected POST on. 301, 302 and 303 go on as a GET
  // without body, 307 and 308 repeat the request as it was.
  std::string target = url;
  for (int redirects = 0;; ++redirects) {
    SentRequest sent = Send(verb, target, body);
    const DWORD status = StatusCode(sent.request.get());
    const bool redirect =
        status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    if (redirect && settings_.followRedirects) {
      if (redirects == kMaxRedirects) throw HttpFailure("too many redirects");
      const std::string location = Location(sent.request.get());
      if (location.empty()) throw HttpFailure("redirect without a location");
      target = ResolveAddress(target, location);
      if (status != 307 && status != 308) {
        verb = L"GET";
        body = nullptr;
      }
      continue;
    }
    if (status < 200 || status > 299) throw HttpFailure("HTTP status " + std::to_string(status));
    Receive(sent.request.get(), reply);
    return;
  }
}

WinHttpClient::SentRequest WinHttpClient::Send(const wchar_t* verb, const std::string& url,
                                               const std::string* body) {
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
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  SentRequest sent;
  sent.connection.reset(WinHttpConnect(session_.get(), host.c_str(), parts.nPort, 0));
  if (!sent.connection) Fail("cannot connect");
  sent.request.reset(WinHttpOpenRequest(sent.connection.get(), verb, path.c_str(), nullptr,
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  if (!sent.request) Fail("cannot open the request");
  HINTERNET request = sent.request.get();

  // Automatic sign-in would answer a server's challenge for us, and
  // redirects are ours to follow; cookies are the client's own setting.
  if (!SetFeatureDisabled(request, WINHTTP_DISABLE_AUTHENTICATION | WINHTTP_DISABLE_REDIRECTS)) {
    Fail("cannot turn off authentication and redirects");
  }
  if (!settings_.keepCookies && !SetFeatureDisabled(request, WINHTTP_DISABLE_COOKIES)) {
    Fail("cannot turn off cookies");
  }

  std::string headers = std::string("Accept: ") + kAcceptHeader + "\r\n";
  if (body && !contentType_.empty()) headers += "Content-Type: " + contentType_ + "\r\n";
  const std::wstring wideHeaders = Wide(headers);

  const DWORD bodySize = body ? static_cast<DWORD>(body->size()) : 0;
  void* bodyData = body && !body->empty() ? const_cast<char*>(body->data()) : WINHTTP_NO_REQUEST_DATA;
  if (!WinHttpSendRequest(request, wideHeaders.c_str(), static_cast<DWORD>(wideHeaders.size()),
                          bodyData, bodySize, bodySize, 0)) {
    Fail("cannot send the request");
  }
  if (!WinHttpReceiveResponse(request, nullptr)) Fail("no reply");
  return sent;
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
