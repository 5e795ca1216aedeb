#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "file_operations.h"
#include "http_client.h"
#include "placing.h"
#include "reply_document.h"
#include "run_request.h"
#include "wizard_platform.h"
#include "wizard_view.h"

// The program's command-line arguments 1 to 4 (absent ones empty).
struct CommandArguments {
  std::wstring fingerprint, videoPath, languageCode, modeWord;
};

// The HTTP clients the window owns, each with its own settings.
struct WizardClients {
  HttpClient& track;   // XML requests and the version check
  HttpClient& file;    // archive downloads: keeps cookies, follows redirects
  HttpClient& poster;  // the poster image
};

// One run of the wizard: the window's handlers and operations, and what the
// run holds. The window (a WizardView) shows it; the clients talk to the
// service.
class DownloadManager : public WizardEvents, private PlacingMessages {
 public:
  // Builds the run on a freshly built window (on its design page) and
  // selects the first page.
  DownloadManager(WizardView& view, WizardPlatform& platform, FileOperations& files,
                  WizardClients clients, CommandArguments arguments);
  ~DownloadManager() override;
  DownloadManager(const DownloadManager&) = delete;
  DownloadManager& operator=(const DownloadManager&) = delete;

  // The start-up of the run: the window's creation handler.
  void FormCreate();

  // Window events.
  void NotebookPageChanged() override;
  void BtnProximoClick() override;
  void FormClose() override;
  void ChckBxPosterClick() override;

  // Ending the run only marks the end; the handler that asks goes on to its
  // own end, then the message loop stops.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

  // Operations.
  void ChooseWorkingFolder();
  void CheckForNewVersion();
  bool GetBestSubtitle(int32_t languageCode);
  bool DownloadBestSubtitle(const std::wstring& identifier, const std::wstring& date);
  void ShowNotFound();
  void PlaceSubtitleFiles();
  bool LoadSubtitleList(int32_t languageCode, const std::string& encodedFingerprint);
  void IdentifyFilm();
  void DownloadPoster(const std::string& url);
  void DownloadSelectedSubtitles();
  void ShowClosingPage();

  const RunRequest& runRequest() const { return runRequest_; }
  const std::wstring& workingFolder() const { return workingFolder_; }
  const std::string& filmIdentifier() const { return filmIdentifier_; }

 private:
  class ProgressEvents;

  void ShowWritePermissionMessage() override;

  WizardView& view_;
  WizardPlatform& platform_;
  FileOperations& files_;
  WizardClients clients_;
  CommandArguments arguments_;

  RunRequest runRequest_;
  std::wstring workingFolder_;
  std::string filmIdentifier_;
  std::unique_ptr<ArchiveStream> archiveStream_;
  ReplyDocumentRef currentReplyDocument_;
  int rowCount_ = 0;  // subtitle rows; the window holds their checkboxes
  bool terminated_ = false;
  bool downloading_ = false;           // an archive download is under way
  bool closedDuringDownload_ = false;  // the close box stopped it

  std::unique_ptr<ProgressEvents> fileEvents_;
  std::unique_ptr<ProgressEvents> trackEvents_;
  std::unique_ptr<ProgressEvents> posterEvents_;
};
