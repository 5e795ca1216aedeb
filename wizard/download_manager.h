#pragma once

#include <cstdint>
#include <functional>
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

  // Window events. A click or a close the window reports is ignored once
  // the run has ended and while a message box of the run is up; a click on
  // Next also while another handler is running, except during the start-up,
  // where it waits for the start-up to end and then acts. When
  // a handler returns on an ended run, the window hides. The page change is
  // always raised by the run itself and always runs.
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

  // The run's message boxes: none after the user closed the window (the
  // answer is then No or OK), and no window event is handled while one is up.
  MessageAnswer ShowMessage(const std::wstring& text, const std::wstring& title, MessageIcon icon,
                            MessageButtons buttons, MessageOwner owner);

  const RunRequest& runRequest() const { return runRequest_; }
  const std::wstring& workingFolder() const { return workingFolder_; }
  const std::string& filmIdentifier() const { return filmIdentifier_; }

 private:
  class ProgressEvents;
  class RunClient;
  class HandlerScope;
  enum class Concurrency { Alone, EvenDuringAnother };

  // Runs one handler the window raised, under the rules above; false when
  // the event was ignored.
  bool RunHandler(Concurrency concurrency, const std::function<void()>& body);
  void BtnProximoClickBody();
  void StartUp();  // the creation handler's steps

  void ShowWritePermissionMessage() override;

  WizardView& view_;
  WizardPlatform& platform_;
  FileOperations& files_;
  // The window's clients, each behind a guard that refuses any request once
  // the user has closed the window.
  std::unique_ptr<RunClient> track_, file_, poster_;
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
  bool closed_ = false;       // the user closed the window: nothing more is asked or shown
  bool messageUp_ = false;    // one of the run's message boxes is on the screen
  int handlersRunning_ = 0;   // handlers under way, the start-up included
  bool startingUp_ = false;          // the creation handler runs
  bool nextAfterStartUp_ = false;    // Next was pressed during it

  std::unique_ptr<ProgressEvents> fileEvents_;
  std::unique_ptr<ProgressEvents> trackEvents_;
  std::unique_ptr<ProgressEvents> posterEvents_;
};
