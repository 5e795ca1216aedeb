// Program entry of Morvane.exe: reads the command line into the run request
// and runs the mode it names. Every run ends with exit code 0.
#include <windows.h>

#include "command_line.h"
#include "run_request.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // The platform's own argument splitting treats backslashes differently,
  // so the raw command line is split here.
  const std::vector<std::wstring> arguments = SplitCommandLine(GetCommandLineW());
  const RunRequest request =
      ReadRunRequest(ArgumentOrEmpty(arguments, 1), ArgumentOrEmpty(arguments, 2),
                     ArgumentOrEmpty(arguments, 3), ArgumentOrEmpty(arguments, 4));
  switch (SelectRunMode(request.modeWord)) {
    case RunMode::List:
    case RunMode::Best:
      // The wizard's modes are not built yet: the run ends like an unknown mode.
    case RunMode::None:
      break;
  }
  return 0;
}
