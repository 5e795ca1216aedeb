#include "context_menu_rules.h"

#include "video_extensions.h"

const MenuCommandInfo MenuCommands[kMenuCommandCount] = {
    {CommandBestSubtitle, L"Mejor subtítulo", L"melhor"},
    {CommandTop10, L"Top 10", L"top"},
};

const MenuCommandInfo& CommandInfo(MenuCommand command) {
  for (const MenuCommandInfo& info : MenuCommands) {
    if (info.command == command) return info;
  }
  return MenuCommands[0];
}

bool AcceptsSelectionSize(std::size_t fileCount) {
  return fileCount >= 1 && fileCount <= kMaxSelectedFiles;
}

bool HasRoomForCommands(unsigned firstCommand, unsigned lastCommand) {
  return lastCommand >= firstCommand && lastCommand - firstCommand >= kMenuCommandCount - 1;
}

MenuOffer DecideMenuOffer(const std::wstring& lastPath, unsigned queryFlags,
                          unsigned firstCommand, unsigned lastCommand) {
  if (!HasVideoExtension(lastPath)) return MenuOffer::NotAVideo;
  if (queryFlags & kQueryFlagDefaultOnly) return MenuOffer::DefaultOnly;
  if (!HasRoomForCommands(firstCommand, lastCommand)) return MenuOffer::NoRoom;
  return MenuOffer::Commands;
}

std::optional<MenuCommand> CommandFromVerb(std::uintptr_t verbField) {
  if (verbField > 0xFFFF) return std::nullopt;
  for (const MenuCommandInfo& info : MenuCommands) {
    if (info.command == verbField) return info.command;
  }
  return std::nullopt;
}

InvocationDecision DecideInvocation(const InvocationFields& fields) {
  InvocationDecision decision;
  decision.showUi = (fields.mask & kInvokeMaskNoUi) == 0;
  const bool unicode = (fields.mask & kInvokeMaskUnicode) != 0 && fields.verbW.has_value();
  decision.command = CommandFromVerb(unicode ? *fields.verbW : fields.verb);
  return decision;
}
