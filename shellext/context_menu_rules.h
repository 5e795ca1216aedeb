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

// What a menu query does for the last selected path, the query flags and the
// range of command identifiers the shell left free (first to last, both
// included).
enum class MenuOffer {
  NotAVideo,    // nothing inserted; the answer is the thread's last error as a result
  DefaultOnly,  // the shell asks only for default items: nothing inserted, 0 returned
  NoRoom,       // fewer identifiers free than commands: nothing inserted, 0 returned
  Commands,     // the items of kTopMenuLayout inserted, kMenuCommandCount returned
};
inline constexpr unsigned kQueryFlagDefaultOnly = 0x1;  // CMF_DEFAULTONLY
MenuOffer DecideMenuOffer(const std::wstring& lastPath, unsigned queryFlags,
                          unsigned firstCommand, unsigned lastCommand);

// True when first to last (both included) holds an identifier for every
// command; a last below the first leaves none.
bool HasRoomForCommands(unsigned firstCommand, unsigned lastCommand);

// The command an invocation asks for. The verb field carries either a
// command offset (a value below 0x10000) or the address of a verb text; the
// handler offers no verb texts, so those, like offsets other than 0 and 1,
// give no command.
std::optional<MenuCommand> CommandFromVerb(std::uintptr_t verbField);

// The invocation flags the handler reads.
inline constexpr std::uint32_t kInvokeMaskNoUi = 0x00000400;     // CMIC_MASK_FLAG_NO_UI
inline constexpr std::uint32_t kInvokeMaskUnicode = 0x00004000;  // CMIC_MASK_UNICODE

// The fields of an invocation that say which command it asks for.
struct InvocationFields {
  std::uint32_t mask = 0;
  std::uintptr_t verb = 0;  // the 8-bit verb field
  // The UTF-16 verb field, when the caller's structure is large enough to
  // hold it (the extended form); absent otherwise.
  std::optional<std::uintptr_t> verbW;
};

// What an invocation asks the handler to do.
struct InvocationDecision {
  std::optional<MenuCommand> command;  // none: refused before anything runs
  bool showUi = true;                  // false: no message box may be shown
};

// A caller that sets the Unicode flag and passes the extended structure
// names its command in the UTF-16 verb field; any other caller in the 8-bit
// one. Only an offset of 0 or 1 there is a command; a verb text never is.
InvocationDecision DecideInvocation(const InvocationFields& fields);
