#pragma once

// Recording stand-ins for the window, the system and the HTTP clients, so
// the run's sequences can be followed step by step without Windows.

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "http_client.h"
#include "wizard_platform.h"
#include "wizard_view.h"

struct ShownMessage {
  std::wstring text, title;
  MessageIcon icon;
  MessageButtons buttons;
  MessageOwner owner;
};

class FakeView : public WizardView {
 public:
  void SetEvents(WizardEvents* events) override { events_ = events; }
  void Show() override { shown = true; }
  void Hide() override {
    shown = false;
    ++hides;
  }
  void SetCaption(const std::wstring& caption) override { caption_ = caption; }
  std::wstring Caption() const override { return caption_; }
  void SetMovieNameCaption(const std::wstring& caption) override { movieName = caption; }
  void SetNextCaption(const std::wstring& caption) override { nextCaption = caption; }
  void SetNextVisible(bool visible) override { nextVisible = visible; }
  void SetNextEnabled(bool enabled) override { nextEnabled = enabled; }
  int ActivePage() const override { return page_; }
  void SelectPage(int page) override {
    if (page < 0 || page > kPageFinish || page == page_) return;
    page_ = page;
    pageChanges.push_back(page);
    if (events_) events_->NotebookPageChanged();
  }
  void SetProgressMax(uint32_t maximum) override { progressMax = maximum; }
  void SetProgressPosition(uint32_t position) override { progressPosition = position; }
  void SetProgressMarquee(bool on) override { marquee = on; }
  void ShowTrayBalloon(const std::wstring& title, const std::wstring& text) override {
    balloons.push_back(title + L"|" + text);
  }
  void SetPosterCheckboxVisible(bool visible) override { posterCheckboxVisible = visible; }
  bool PosterCheckboxTicked() const override { return posterTicked; }
  void SetPosterCheckboxHint(const std::wstring& hint) override { posterHint = hint; }
  std::wstring PosterCheckboxHint() const override { return posterHint; }
  bool ShowPoster(const std::string& jpegBytes) override {
    if (jpegBytes.rfind("\xFF\xD8", 0) != 0) return false;  // a JPEG starts so
    poster = jpegBytes;
    return true;
  }
  void SetSubtitleGroupVisible(bool visible) override { groupVisible = visible; }
  void AddSubtitleRow(int index, const std::wstring& caption) override {
    if (index != static_cast<int>(rows.size())) throw std::logic_error("rows out of order");
    rows.push_back({caption, false, false});
  }
  void SetRowTicked(int index, bool ticked) override { rows.at(index).ticked = ticked; }
  bool RowTicked(int index) const override { return rows.at(index).ticked; }
  void SetRowBold(int index) override { rows.at(index).bold = true; }
  void LoadClosingPage(const std::string& url) override { closingPages.push_back(url); }

  MessageAnswer ShowMessage(const std::wstring& text, const std::wstring& title, MessageIcon icon,
                            MessageButtons buttons, MessageOwner owner) override {
    messages.push_back({text, title, icon, buttons, owner});
    if (onMessage) onMessage();
    if (answers.empty()) return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ProcessMessages() override {
    ++pumps;
    if (onPump) {
      auto pump = std::move(onPump);  // runs once, like a queued click
      onPump = nullptr;
      pump();
    }
  }

  WizardEvents* events() const { return events_; }

  struct Row {
    std::wstring caption;
    bool ticked, bold;
  };
  bool shown = false, marquee = false;
  int hides = 0;
  bool posterCheckboxVisible = false, posterTicked = false, groupVisible = false;
  std::wstring posterHint = L"false";
  std::string poster;
  std::vector<Row> rows;
  std::vector<std::string> closingPages;
  std::wstring movieName, nextCaption = L"Próximo >";
  bool nextVisible = true, nextEnabled = true;
  std::vector<int> pageChanges;
  uint32_t progressMax = 100, progressPosition = 0;
  std::vector<std::wstring> balloons;
  std::vector<ShownMessage> messages;
  std::deque<MessageAnswer> answers;
  std::function<void()> onMessage, onPump;
  int pumps = 0;

 private:
  WizardEvents* events_ = nullptr;
  std::wstring caption_ = L"Morvane";
  int page_ = kPageFinish;  // the notebook's design page
};

class FakePlatform : public WizardPlatform {
 public:
  void MaskFloatingPointExceptions() override { ++fpuMasks; }
  std::wstring TempFolderPath() override { return tempFolder; }
  void ShellOpen(const std::wstring& target) override { opened.push_back(target); }
  void CloseWindowTitled(const std::wstring& title) override { closedTitles.push_back(title); }

  std::wstring tempFolder = L"C:\\Temp\\";
  int fpuMasks = 0;
  std::vector<std::wstring> opened, closedTitles;
};

// One scripted answer of a fake client.
struct FakeReply {
  std::string body;
  bool fails = false;  // the request raises HttpFailure (after delivering `body`)
  bool sized = true;   // false: the reply announces no length
  uint64_t announced = 0;  // when sized and not 0: the length announced instead of the body's
};

struct ClientRequest {
  std::string method, url, contentType, body;
};

class FakeHttpClient : public HttpClient {
 public:
  void SetContentType(const std::string& contentType) override { contentType_ = contentType; }
  void SetWorkEvents(HttpWorkEvents* events) override { events_ = events; }
  void Post(const std::string& url, const std::string& body, ReplySink& reply) override {
    Answer({"POST", url, contentType_, body}, reply);
  }
  void Get(const std::string& url, ReplySink& reply) override {
    Answer({"GET", url, contentType_, ""}, reply);
  }
  void Cancel() override { cancelled = true; }

  std::deque<FakeReply> replies;  // an empty queue answers every request with a failure
  std::vector<ClientRequest> requests;
  bool cancelled = false;
  // Called between the work-begin and the first work event of each reply.
  std::function<void()> duringTransfer;

 private:
  void Answer(ClientRequest request, ReplySink& reply) {
    requests.push_back(std::move(request));
    cancelled = false;
    if (replies.empty()) throw HttpFailure("no reply scripted");
    const FakeReply next = std::move(replies.front());
    replies.pop_front();
    const uint64_t length = next.announced ? next.announced : next.body.size();
    if (next.sized) reply.Expect(length);
    if (events_) events_->WorkBegin(next.sized ? static_cast<int64_t>(length) : 0);
    if (duringTransfer) duringTransfer();
    if (cancelled) throw HttpFailure("transfer stopped");
    if (!next.body.empty()) reply.Write(next.body.data(), next.body.size());
    if (events_) {
      events_->Work(static_cast<int64_t>(next.body.size()));
      events_->WorkEnd();
    }
    if (next.fails) throw HttpFailure("scripted failure");
  }

  std::string contentType_;
  HttpWorkEvents* events_ = nullptr;
};
