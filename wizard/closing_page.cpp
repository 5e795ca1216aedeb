// The closing page of the list mode.
#include "download_manager.h"
#include "service_endpoints.h"

void DownloadManager::ShowClosingPage() {
  view_.LoadClosingPage(ClosingPageUrl());
  view_.ProcessMessages();
  view_.SetPosterCheckboxVisible(false);
  view_.SetCaption(L"¡Obrigado por la confianza!");
  view_.SetNextCaption(L"Terminar");
}
