// The message that tells the user no subtitle was found.
#include "base64.h"
#include "download_manager.h"
#include "text_forms.h"
#include "wizard_texts.h"

void DownloadManager::ShowNotFound() {
  // The fingerprint as it came on the command line, narrowed to 8 bits.
  const std::wstring fingerprint = AnsiToText(DecodeBase64(runRequest_.encodedFingerprint));
  const std::wstring text = L"Subtítulo no encontrado. (Hash=" + fingerprint + L")" + L"\n" +
                            runRequest_.videoFileName;
  view_.SetCaption(text);
  ShowMessage(view_.Caption(), kInformationTitle, MessageIcon::Exclamation, MessageButtons::Ok,
              MessageOwner::Window);
  Terminate();
}
