#include "download_manager.h"

#include <utility>

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
      // The bar takes a signed 32-bit range: a larger size is scaled down,
      // and an unknown size leaves the bar empty.
      shift_ = 0;
      while ((expectedBytes >> shift_) > INT32_MAX) ++shift_;
      maximum_ = static_cast<uint32_t>(expectedBytes > 0 ? expectedBytes >> shift_ : 0);
      view_.SetProgressPosition(0);
      view_.SetProgressMax(maximum_);
    }
    view_.ProcessMessages();
  }

  void Work(int64_t bytesSoFar) override {
    if (drivesBar_) {
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
};

DownloadManager::DownloadManager(WizardView& view, WizardPlatform& platform,
                                 FileOperations& files, WizardClients clients,
                                 CommandArguments arguments)
    : view_(view),
      platform_(platform),
      files_(files),
      clients_(clients),
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

void DownloadManager::FormCreate() {
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
  if (view_.ActivePage() == kPageDownload) view_.SelectPage(kPageFinish);
  // Closing during a download stops the transfer: the client delivers no
  // more bytes, and the closed stream refuses any that were on their way.
  if (downloading_) {
    closedDuringDownload_ = true;
    clients_.file.Cancel();
  }
  if (archiveStream_) {
    archiveStream_->Close();
    archiveStream_.reset();
  }
  files_.RemoveFile(workingFolder_ + kArchiveFileName);
  Terminate();
}

void DownloadManager::PlaceSubtitleFiles() {
  ::PlaceSubtitleFiles(workingFolder_, runRequest_.videoFolder, runRequest_.videoFileName,
                       archiveStream_, files_, *this);
}

void DownloadManager::ShowWritePermissionMessage() {
  view_.ShowMessage(kWritePermissionText, kWritePermissionTitle, MessageIcon::Error,
                    MessageButtons::Ok, true);
}
