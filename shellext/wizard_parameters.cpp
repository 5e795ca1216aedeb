#include "wizard_parameters.h"

std::wstring WizardPathText(const std::wstring& path) {
  std::wstring text = path;
  for (wchar_t& unit : text) {
    if (unit == L' ') unit = L'*';
  }
  return text;
}

std::wstring ComposeWizardParameters(const std::string& fingerprintText, const std::wstring& path,
                                     MenuCommand command) {
  std::wstring parameters;
  for (const char digit : fingerprintText) parameters.push_back(static_cast<unsigned char>(digit));
  parameters += L' ';
  parameters += WizardPathText(path);
  parameters += L' ' + std::to_wstring(kWizardLanguageCode) + L' ';
  parameters += CommandInfo(command).modeWord;
  return parameters;
}

std::vector<std::wstring> PlanWizardRuns(const std::vector<std::wstring>& paths,
                                         const std::vector<std::string>& fingerprintTexts,
                                         MenuCommand command) {
  std::vector<std::wstring> runs;
  for (std::size_t i = 0; i < paths.size() && i < fingerprintTexts.size(); ++i) {
    if (fingerprintTexts[i].empty()) continue;
    runs.push_back(ComposeWizardParameters(fingerprintTexts[i], paths[i], command));
  }
  return runs;
}

std::wstring ModuleDirectoryFromFilePath(const std::wstring& moduleFilePath) {
  const std::size_t slash = moduleFilePath.rfind(L'\\');
  if (slash == std::wstring::npos) return {};
  return moduleFilePath.substr(0, slash + 1);
}

std::wstring WizardProgramPathIn(const std::wstring& moduleDirectory) {
  std::wstring path = moduleDirectory;
  if (path.empty() || path.back() != L'\\') path += L'\\';
  return path + kWizardFileName;
}
