#pragma once

#include <ostream>
#include <string>
#include <vector>

// The program's command line: "serve" and the operator's commands on the
// store. Gives the exit code: 0 done, 1 failed, 2 bad command line or input.
// Messages go to `out` (results) and `err` (errors).
int RunSubtitleServer(const std::vector<std::string>& arguments, std::ostream& out,
                      std::ostream& err);
