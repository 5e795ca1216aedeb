// The version check made at one point of every run's start-up.
#include "download_manager.h"
#include "memory_reply_sink.h"
#include "service_endpoints.h"
#include "text_forms.h"
#include "version_reply.h"
#include "wizard_texts.h"

void DownloadManager::CheckForNewVersion() {
  // Wholly guarded: any failure skips the rest and the run goes on as if no
  // newer version existed.
  try {
    MemoryReplySink reply;
    clients_.track.Get(VersionCheckUrl(), reply);
    const std::wstring address = AnsiToText(reply.bytes());
    if (!IsNewVersionAddress(address)) return;

    const MessageAnswer answer =
        ShowMessage(L"Nueva versión encontrada. Deseja actualizar para una nueva versión?",
                          L"Actualización", MessageIcon::Question, MessageButtons::YesNo, MessageOwner::None);
    if (answer != MessageAnswer::Yes) return;
    platform_.ShellOpen(address);
    platform_.CloseWindowTitled(kInformationTitle);
    Terminate();
  } catch (...) {
  }
}
