#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The two commands of the submenu, by their offset from the first command
// identifier the shell assigned.
enum MenuCommand : unsigned {
  CommandBestSubtitle = 0,
  CommandTop10 = 1,
};

// One row of the command table: offset, menu text, mode word for the wizard.
struct MenuCommandInfo {
  MenuCommand command;
  const wchar_t* menuText;
  const wchar_t* modeWord;
};

inline constexpr std::size_t kMenuCommandCount = 2;
extern const MenuCommandInfo MenuCommands[kMenuCommandCount];

const MenuCommandInfo& CommandInfo(MenuCommand command);

// Text of the item that opens the submenu.
inline constexpr wchar_t kSubmenuText[] = L"Descargar Subtítulos";

// A selection gets the menu only with 1 to 99 files.
inline constexpr std::size_t kMaxSelectedFiles = 99;
bool AcceptsSelectionSize(std::size_t fileCount);

// The items the handler inserts into the shell's menu, from the given
// position on: a separator, the submenu item, a second separator.
enum class TopMenuItem { Separator, Submenu };
inline constexpr TopMenuItem kTopMenuLayout[] = {TopMenuItem::Separator, TopMenuItem::Submenu,
                                                TopMenuItem::Separator};

// What a menu query does for the last selected path and the query flags.
enum class MenuOffer {
  NotAVideo,    // nothing inserted; the answer is the thread's last error as a result
  DefaultOnly,  // the shell asks only for default items: nothing inserted, 0 returned
  Commands,     // the items of kTopMenuLayout inserted, kMenuCommandCount returned
};
inline constexpr unsigned kQueryFlagDefaultOnly = 0x1;  // CMF_DEFAULTONLY
MenuOffer DecideMenuOffer(const std::wstring& lastPath, unsigned queryFlags);

// The command an invocation asks for. The verb field carries either a
// command offset (a value below 0x10000) or the address of a verb text; the
// handler offers no verb texts, so those, like offsets other than 0 and 1,
// give no command.
std::optional<MenuCommand> CommandFromVerb(std::uintptr_t verbField);
