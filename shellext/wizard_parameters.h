#pragma once

#include <string>
#include <vector>

#include "context_menu_rules.h"

// The language code the extension always passes to the wizard.
inline constexpr int kWizardLanguageCode = 42;

// File name of the wizard, always taken from the extension's own folder.
inline constexpr wchar_t kWizardFileName[] = L"morvane.exe";

// The path as the wizard's second argument: every space written as "*".
// Nothing else changes; the wizard turns each "*" back into a space.
std::wstring WizardPathText(const std::wstring& path);

// The wizard's parameters: fingerprint text, one space, the path text,
// " 42 " and the command's mode word. No piece is quoted.
std::wstring ComposeWizardParameters(const std::string& fingerprintText, const std::wstring& path,
                                     MenuCommand command);

// One wizard run per selected file, in selection order: the parameters for
// each file whose fingerprint text is not empty. A file that could not be
// opened (empty text, its message already shown) gets no run.
std::vector<std::wstring> PlanWizardRuns(const std::vector<std::wstring>& paths,
                                         const std::vector<std::string>& fingerprintTexts,
                                         MenuCommand command);

// The folder of a module file, ending in "\"; empty when the path names no
// folder.
std::wstring ModuleDirectoryFromFilePath(const std::wstring& moduleFilePath);

// The wizard's full path: the module folder and "morvane.exe" joined by
// exactly one backslash.
std::wstring WizardProgramPathIn(const std::wstring& moduleDirectory);
