// subtitle-server: the subtitle service the wizard talks to, and the
// operator's commands on its library.
#include <iostream>
#include <string>
#include <vector>

#include "operator_commands.h"

int main(int argc, char** argv) {
  return RunSubtitleServer(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
