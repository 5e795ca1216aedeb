#include "winhttp_client.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "code_page.h"
#include "http_address.h"
#include "transfer_pace.h"

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

// What the worker hands to the waiting thread, in order.
struct Piece {
  enum class Kind { Begin, Data, Done, Failed } kind;
  int64_t expected = 0;  // Begin: the announced length, -1 when none
  std::string bytes;     // Data: the bytes; Failed: what went wrong
};

UniqueInternet OpenSession(const HttpClientSettings& settings) {
  UniqueInternet session(WinHttpOpen(Wide(kUserAgent).c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY,
                                     WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) Fail("cannot open an HTTP session");
  const HttpTimeouts& t = settings.timeouts;
  if (!WinHttpSetTimeouts(session.get(), t.resolveMs, t.connectMs, t.sendMs, t.receiveMs)) {
    Fail("cannot set the HTTP time limits");
  }
  // Waiting for the reply's headers has a limit of its own, which
  // WinHttpSetTimeouts leaves alone.
  DWORD headersMs = static_cast<DWORD>(t.receiveMs);
  if (!WinHttpSetOption(session.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersMs,
                        sizeof(headersMs))) {
    Fail("cannot set the HTTP time limits");
  }
  return session;
}

}  // namespace

struct WinHttpTransfer {
  // Set before the worker starts, then only read.
  HINTERNET session = nullptr;  // the owner's; left open while a worker may use it
  HttpClientSettings settings;
  std::wstring verb;
  std::string url;
  bool hasBody = false;
  std::string body;
  std::string contentType;
  bool discardReply = false;  // nobody reads the reply: no Data pieces

  UniqueHandle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};  // a piece came
  std::atomic<bool> abandoned{false};  // the waiting side is gone: stop at the next chance
  std::atomic<bool> sent{false};       // the request has gone out on the wire
  std::atomic<bool> finished{false};   // the worker has nothing more to do

  void Push(Piece piece) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pieces_.push_back(std::move(piece));
    }
    SetEvent(wake.get());
  }
  std::deque<Piece> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(pieces_, {});
  }

 private:
  std::mutex mutex_;
  std::deque<Piece> pieces_;
};

namespace {

constexpr int kMaxRedirects = 10;

// One request on the wire: its connection and the request itself, closed
// in that order's reverse.
struct SentRequest {
  UniqueInternet connection;
  UniqueInternet request;
};

SentRequest Send(WinHttpTransfer& transfer, const wchar_t* verb, const std::string& url,
                 bool withBody) {
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
  sent.connection.reset(WinHttpConnect(transfer.session, host.c_str(), parts.nPort, 0));
  if (!sent.connection) Fail("cannot connect");
  sent.request.reset(WinHttpOpenRequest(sent.connection.get(), verb, path.c_str(), nullptr,
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  if (!sent.request) Fail("cannot open the request");
  HINTERNET request = sent.request.get();

  // Automatic sign-in would answer a server's challenge for us, and
  // redirects are ours to follow; cookies are the client's own setting.
  // Every request goes on a connection of its own: WinHTTP (Wine's at
  // least) writes a POST's headers and body separately, and on a connection
  // kept from an earlier request the body then waits for the server's
  // delayed acknowledgement of the headers, some 40 ms a request from a
  // Linux server. On a new connection the server acknowledges at once.
  if (!SetFeatureDisabled(request, WINHTTP_DISABLE_AUTHENTICATION | WINHTTP_DISABLE_REDIRECTS |
                                       WINHTTP_DISABLE_KEEP_ALIVE)) {
    Fail("cannot turn off authentication, redirects and kept connections");
  }
  if (!transfer.settings.keepCookies && !SetFeatureDisabled(request, WINHTTP_DISABLE_COOKIES)) {
    Fail("cannot turn off cookies");
  }

  std::string headers = std::string("Accept: ") + kAcceptHeader + "\r\n";
  if (withBody && !transfer.contentType.empty()) {
    headers += "Content-Type: " + transfer.contentType + "\r\n";
  }
  const std::wstring wideHeaders = Wide(headers);

  const std::string& body = transfer.body;
  const DWORD bodySize = withBody ? static_cast<DWORD>(body.size()) : 0;
  void* bodyData =
      withBody && !body.empty() ? const_cast<char*>(body.data()) : WINHTTP_NO_REQUEST_DATA;
  if (!WinHttpSendRequest(request, wideHeaders.c_str(), static_cast<DWORD>(wideHeaders.size()),
                          bodyData, bodySize, bodySize, 0)) {
    Fail("cannot send the request");
  }
  transfer.sent = true;
  if (!WinHttpReceiveResponse(request, nullptr)) Fail("no reply");
  return sent;
}

void ThrowIfAbandoned(const WinHttpTransfer& transfer) {
  if (transfer.abandoned) throw HttpFailure("transfer abandoned");
}

void Receive(WinHttpTransfer& transfer, HINTERNET request) {
  const int64_t expected = ContentLength(request);
  transfer.Push({Piece::Kind::Begin, expected, {}});
  std::vector<char> buffer(64 * 1024);
  int64_t received = 0;
  for (;;) {
    ThrowIfAbandoned(transfer);
    DWORD read = 0;
    if (!WinHttpReadData(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
      Fail("reply broken off");
    }
    if (read == 0) break;
    received += read;
    if (!transfer.discardReply) {
      transfer.Push({Piece::Kind::Data, 0, std::string(buffer.data(), read)});
    }
  }
  if (expected >= 0 && received < expected) throw HttpFailure("reply shorter than announced");
  transfer.Push({Piece::Kind::Done, 0, {}});
}

// The whole exchange, on the worker thread. Redirects are followed here
// rather than by WinHTTP, which (under Wine) cannot send a redirected POST
// on. 301, 302 and 303 go on as a GET without body, 307 and 308 repeat the
// request as it was.
void RunTransfer(WinHttpTransfer& transfer) {
  try {
    const wchar_t* verb = transfer.verb.c_str();
    bool withBody = transfer.hasBody;
    std::string target = transfer.url;
    for (int redirects = 0;; ++redirects) {
      SentRequest sent = Send(transfer, verb, target, withBody);
      ThrowIfAbandoned(transfer);
      const DWORD status = StatusCode(sent.request.get());
      const bool redirect =
          status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
      if (redirect && transfer.settings.followRedirects) {
        if (redirects == kMaxRedirects) throw HttpFailure("too many redirects");
        const std::string location = Location(sent.request.get());
        if (location.empty()) throw HttpFailure("redirect without a location");
        target = ResolveAddress(target, location);
        if (status != 307 && status != 308) {
          verb = L"GET";
          withBody = false;
        }
        continue;
      }
      if (status < 200 || status > 299) throw HttpFailure("HTTP status " + std::to_string(status));
      Receive(transfer, sent.request.get());
      return;
    }
  } catch (const std::exception& failure) {
    transfer.Push({Piece::Kind::Failed, 0, failure.what()});
  } catch (...) {
    transfer.Push({Piece::Kind::Failed, 0, "transfer failed"});
  }
}

DWORD WINAPI TransferThread(void* parameter) {
  std::unique_ptr<std::shared_ptr<WinHttpTransfer>> transfer(
      static_cast<std::shared_ptr<WinHttpTransfer>*>(parameter));
  WinHttpTransfer& t = **transfer;
  RunTransfer(t);
  t.finished = true;
  SetEvent(t.wake.get());
  return 0;
}

// Starts the worker of one exchange; it holds its own share of the transfer.
UniqueHandle StartWorker(const std::shared_ptr<WinHttpTransfer>& transfer) {
  if (!transfer->wake) Fail("cannot make an event");
  auto share = std::make_unique<std::shared_ptr<WinHttpTransfer>>(transfer);
  UniqueHandle thread(CreateThread(nullptr, 0, TransferThread, share.get(), 0, nullptr));
  if (!thread) Fail("cannot start the transfer");
  share.release();  // the worker owns it now
  return thread;
}

// Whether every worker ends within the time given; forgets those that did.
bool WorkersEnd(std::vector<UniqueHandle>& workers, DWORD milliseconds) {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  std::vector<UniqueHandle> running;
  for (auto& worker : workers) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    if (WaitForSingleObject(worker.get(), left) != WAIT_OBJECT_0) running.push_back(std::move(worker));
  }
  workers = std::move(running);
  return workers.empty();
}

}  // namespace

WinHttpClient::WinHttpClient(const HttpClientSettings& settings)
    : settings_(settings), session_(OpenSession(settings)) {}

WinHttpClient::~WinHttpClient() {
  if (active_) active_->abandoned = true;
  // A worker still blocked in WinHTTP goes on using the session: it stays
  // open for it, to go with the process.
  if (!WorkersEnd(workers_, 50)) session_.release();
}

void WinHttpClient::Post(const std::string& url, const std::string& body, ReplySink& reply) {
  Exchange(L"POST", url, &body, reply);
}

void WinHttpClient::Get(const std::string& url, ReplySink& reply) {
  Exchange(L"GET", url, nullptr, reply);
}

void WinHttpClient::Cancel() {
  cancelled_ = true;
  if (active_) {
    active_->abandoned = true;
    SetEvent(active_->wake.get());  // the waiting request notices at once
  }
}

void WinHttpClient::ThrowIfCancelled() const {
  if (cancelled_) throw HttpFailure("transfer cancelled");
}

void WinHttpClient::Wait(HANDLE wake, DWORD milliseconds) {
  if (!pump_) {
    WaitForSingleObject(wake, milliseconds);
    return;
  }
  const DWORD woken =
      MsgWaitForMultipleObjectsEx(1, &wake, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (woken == WAIT_OBJECT_0 + 1) pump_();
}

void WinHttpClient::Exchange(const wchar_t* verb, const std::string& url, const std::string* body,
                             ReplySink& reply) {
  BusyScope busy(busy_);
  cancelled_ = false;
  WorkersEnd(workers_, 0);

  auto transfer = std::make_shared<WinHttpTransfer>();
  transfer->session = session_.get();
  transfer->settings = settings_;
  transfer->verb = verb;
  transfer->url = url;
  transfer->hasBody = body != nullptr;
  if (body) transfer->body = *body;
  transfer->contentType = contentType_;
  workers_.push_back(StartWorker(transfer));

  // However the request ends here, its worker stops at its next chance.
  active_ = transfer;
  struct Leave {
    WinHttpClient& client;
    ~Leave() {
      client.active_->abandoned = true;
      client.active_.reset();
    }
  } leave{*this};

  bool begun = false;
  int64_t received = 0;
  TransferPace pace(settings_.timeouts.paceWindowMs, settings_.timeouts.paceBytes);
  try {
    for (;;) {
      for (Piece& piece : transfer->Take()) {
        switch (piece.kind) {
          case Piece::Kind::Begin:
            // A reply announced beyond what the sink takes ends here,
            // before any of it is received.
            if (piece.expected >= 0) reply.Expect(static_cast<uint64_t>(piece.expected));
            begun = true;
            pace.Start(static_cast<int64_t>(GetTickCount64()));
            if (events_) events_->WorkBegin(piece.expected > 0 ? piece.expected : 0);
            break;
          case Piece::Kind::Data:
            reply.Write(piece.bytes.data(), piece.bytes.size());
            received += static_cast<int64_t>(piece.bytes.size());
            pace.Received(received, static_cast<int64_t>(GetTickCount64()));
            if (events_) events_->Work(received);
            break;
          case Piece::Kind::Done:
            begun = false;
            if (events_) events_->WorkEnd();
            return;
          case Piece::Kind::Failed:
            throw HttpFailure(piece.bytes);
        }
        ThrowIfCancelled();
      }
      ThrowIfCancelled();
      const int64_t now = static_cast<int64_t>(GetTickCount64());
      if (pace.TooSlow(now)) throw HttpFailure("the reply comes too slowly");
      const int64_t due = pace.MsUntilDue(now);
      Wait(transfer->wake.get(), due < 0 ? INFINITE : static_cast<DWORD>(due));
      ThrowIfCancelled();
    }
  } catch (...) {
    if (begun && events_) {
      try {
        events_->WorkEnd();
      } catch (...) {
        // The transfer's own failure is the one to report.
      }
    }
    throw;
  }
}

WinHttpBackgroundGet::WinHttpBackgroundGet(const HttpClientSettings& settings,
                                           const std::string& url) {
  try {
    session_ = OpenSession(settings);
    auto transfer = std::make_shared<WinHttpTransfer>();
    transfer->session = session_.get();
    transfer->settings = settings;
    transfer->verb = L"GET";
    transfer->url = url;
    transfer->discardReply = true;
    worker_ = StartWorker(transfer);
    transfer_ = std::move(transfer);
  } catch (...) {
    // A page that cannot be loaded is nobody's concern.
  }
}

WinHttpBackgroundGet::~WinHttpBackgroundGet() {
  if (!transfer_) return;
  // A request about to go out gets a moment to reach the server.
  for (int waited = 0; waited < 1000 && !transfer_->sent && !transfer_->finished; waited += 10) {
    Sleep(10);
  }
  transfer_->abandoned = true;
  std::vector<UniqueHandle> workers;
  workers.push_back(std::move(worker_));
  if (!WorkersEnd(workers, 100)) session_.release();
}

bool WinHttpBackgroundGet::Finished() const { return !transfer_ || transfer_->finished; }
