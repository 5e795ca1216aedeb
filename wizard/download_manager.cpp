#include "download_manager.h"

#include <utility>

#include "wizard_texts.h"

namespace {

const wchar_t kNextCaption[] = L"Siguiente";
const wchar_t kStartUpCaption[] = L"A descargar el subtítulos...";
const wchar_t kProbeFileName[] = L"test.zip";

}  // namespace

// Routes one client's progress events to the window: every event lets pending
// window messages run; the file client's also drive the progress bar.
class DownloadManager::ProgressEvents : public HttpWorkEvents {
 public:
  ProgressEvents(WizardView& view, bool drivesBar) : view_(view), drivesBar_(drivesBar) {}

  void WorkBegin(int64_t expectedBytes) override {
    if (drivesBar_) {
      // The bar takes a signed 32-bit range: a larger size is scaled down.
      // A reply of unknown size has no range to fill: the bar turns to a
      // marquee that shows bytes arriving.
      marquee_ = expectedBytes <= 0;
      shift_ = 0;
      while ((expectedBytes >> shift_) > INT32_MAX) ++shift_;
      maximum_ = static_cast<uint32_t>(marquee_ ? 0 : expectedBytes >> shift_);
      view_.SetProgressMarquee(marquee_);
      view_.SetProgressPosition(0);
      if (!marquee_) view_.SetProgressMax(maximum_);
    }
    view_.ProcessMessages();
  }

  void Work(int64_t bytesSoFar) override {
    if (drivesBar_ && !marquee_) {
      const int64_t scaled = bytesSoFar > 0 ? bytesSoFar >> shift_ : 0;
      view_.SetProgressPosition(static_cast<uint32_t>(scaled < maximum_ ? scaled : maximum_));
    }
    view_.ProcessMessages();
  }

  void WorkEnd() override { view_.ProcessMessages(); }

 private:
  WizardView& view_;
  bool drivesBar_;
  int shift_ = 0;
  uint32_t maximum_ = 0;
  bool marquee_ = false;
};

// One of the window's clients as the run uses it: once the user has closed
// the window, every request fails at once, so nothing of the start-up that
// follows the close reaches the service.
class DownloadManager::RunClient : public HttpClient {
 public:
  RunClient(HttpClient& client, const bool& closed) : client_(client), closed_(closed) {}

  void SetContentType(const std::string& contentType) override {
    client_.SetContentType(contentType);
  }
  void SetWorkEvents(HttpWorkEvents* events) override { client_.SetWorkEvents(events); }
  void Post(const std::string& url, const std::string& body, ReplySink& reply) override {
    RefuseAfterClose();
    client_.Post(url, body, reply);
  }
  void Get(const std::string& url, ReplySink& reply) override {
    RefuseAfterClose();
    client_.Get(url, reply);
  }
  void Cancel() override { client_.Cancel(); }

 private:
  void RefuseAfterClose() const {
    if (closed_) throw HttpFailure("the window was closed");
  }

  HttpClient& client_;
  const bool& closed_;  // the run's member
};

// Counts a handler as running for its whole length, also when it fails;
// when it returns on an ended run, the window hides.
class DownloadManager::HandlerScope {
 public:
  explicit HandlerScope(DownloadManager& run) : run_(run) { ++run_.handlersRunning_; }
  ~HandlerScope() {
    --run_.handlersRunning_;
    if (run_.terminated_) run_.view_.Hide();
  }
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;

 private:
  DownloadManager& run_;
};

DownloadManager::DownloadManager(WizardView& view, WizardPlatform& platform,
                                 FileOperations& files, WizardClients clients,
                                 CommandArguments arguments)
    : view_(view),
      platform_(platform),
      files_(files),
      track_(std::make_unique<RunClient>(clients.track, closed_)),
      file_(std::make_unique<RunClient>(clients.file, closed_)),
      poster_(std::make_unique<RunClient>(clients.poster, closed_)),
      clients_{*track_, *file_, *poster_},
      arguments_(std::move(arguments)),
      fileEvents_(std::make_unique<ProgressEvents>(view, true)),
      trackEvents_(std::make_unique<ProgressEvents>(view, false)),
      posterEvents_(std::make_unique<ProgressEvents>(view, false)) {
  runRequest_.languageCode = 0;  // until the run request is read
  clients_.file.SetWorkEvents(fileEvents_.get());
  clients_.track.SetWorkEvents(trackEvents_.get());
  clients_.poster.SetWorkEvents(posterEvents_.get());
  view_.SetEvents(this);
  // The notebook is built on its design page; this first change of page
  // sets the Next button's caption.
  view_.SelectPage(kPageDefault);
}

DownloadManager::~DownloadManager() {
  clients_.file.SetWorkEvents(nullptr);
  clients_.track.SetWorkEvents(nullptr);
  clients_.poster.SetWorkEvents(nullptr);
  view_.SetEvents(nullptr);
}

bool DownloadManager::RunHandler(Concurrency concurrency, const std::function<void()>& body) {
  if (terminated_ || messageUp_) return false;
  if (concurrency == Concurrency::Alone && handlersRunning_ > 0) return false;
  HandlerScope scope(*this);
  body();
  return true;
}

MessageAnswer DownloadManager::ShowMessage(const std::wstring& text, const std::wstring& title,
                                           MessageIcon icon, MessageButtons buttons,
                                           MessageOwner owner) {
  if (closed_) return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  messageUp_ = true;
  struct Down {
    bool& up;
    ~Down() { up = false; }
  } down{messageUp_};
  return view_.ShowMessage(text, title, icon, buttons, owner);
}

void DownloadManager::FormCreate() {
  {
    HandlerScope scope(*this);
    struct StartingUp {
      bool& flag;
      ~StartingUp() { flag = false; }
    } startingUp{startingUp_ = true};
    StartUp();
  }
  // Next was pressed while the last requests of the start-up ran: it acts
  // now, after them, as the run's order has it.
  if (std::exchange(nextAfterStartUp_, false)) BtnProximoClick();
}

void DownloadManager::StartUp() {
  platform_.MaskFloatingPointExceptions();
  view_.SetCaption(kStartUpCaption);
  view_.SetMovieNameCaption(L"");
  view_.SetNextEnabled(false);
  runRequest_ = ReadRunRequest(arguments_.fingerprint, arguments_.videoPath,
                               arguments_.languageCode, arguments_.modeWord);
  ChooseWorkingFolder();

  switch (SelectRunMode(runRequest_.modeWord)) {
    case RunMode::Best:
      CheckForNewVersion();
      if (GetBestSubtitle(runRequest_.languageCode)) {
        Terminate();
      } else if (!closedDuringDownload_) {
        // A run the user closed during its download has ended already.
        ShowNotFound();
      }
      break;
    case RunMode::List:
      if (LoadSubtitleList(runRequest_.languageCode, runRequest_.encodedFingerprint)) {
        IdentifyFilm();
      } else {
        ShowNotFound();
      }
      CheckForNewVersion();
      // The user ticks rows and presses Next in the message loop.
      break;
    case RunMode::None:
      Terminate();
      break;
  }
}

void DownloadManager::ChooseWorkingFolder() {
  const std::wstring temp = platform_.TempFolderPath();
  const std::wstring probePath = temp + kProbeFileName;
  const bool created = files_.CreateOutput(probePath, 0) != nullptr;  // closed at once
  files_.RemoveFile(probePath);
  workingFolder_ = created ? temp : runRequest_.videoFolder;
}

void DownloadManager::NotebookPageChanged() {
  view_.SetNextCaption(kNextCaption);
  // No second Next while a download runs.
  view_.SetNextVisible(view_.ActivePage() != kPageDownload);
  if (view_.ActivePage() == kPageFinish) ShowClosingPage();
}

void DownloadManager::BtnProximoClick() {
  if (startingUp_ && !terminated_ && !messageUp_) {
    nextAfterStartUp_ = true;
    return;
  }
  RunHandler(Concurrency::Alone, [this] { BtnProximoClickBody(); });
}

void DownloadManager::BtnProximoClickBody() {
  // On the last page there is no next page and no page change.
  view_.SelectPage(view_.ActivePage() + 1);
  if (view_.ActivePage() == kPageDownload) {
    DownloadSelectedSubtitles();
    PlaceSubtitleFiles();
    view_.SelectPage(kPageFinish);
  } else if (view_.ActivePage() == kPageFinish) {
    Terminate();
  }
}

void DownloadManager::FormClose() {
  RunHandler(Concurrency::EvenDuringAnother, [this] {
    if (view_.ActivePage() == kPageDownload) view_.SelectPage(kPageFinish);
    // Whatever request runs ends now, and none follows; nothing more is
    // asked or shown. A download stops before the client delivers more
    // bytes, and the closed stream refuses any that were on their way.
    closed_ = true;
    if (downloading_) closedDuringDownload_ = true;
    clients_.track.Cancel();
    clients_.file.Cancel();
    clients_.poster.Cancel();
    if (archiveStream_) {
      archiveStream_->Close();
      archiveStream_.reset();
    }
    files_.RemoveFile(workingFolder_ + kArchiveFileName);
    Terminate();
  });
}

void DownloadManager::PlaceSubtitleFiles() {
  ::PlaceSubtitleFiles(workingFolder_, runRequest_.videoFolder, runRequest_.videoFileName,
                       archiveStream_, files_, *this);
}

void DownloadManager::ShowWritePermissionMessage() {
  ShowMessage(kWritePermissionText, kWritePermissionTitle, MessageIcon::Error,
                    MessageButtons::Ok, MessageOwner::Window);
}
