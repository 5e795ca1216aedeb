#pragma once

#include <string>

// Loads a web page out of sight and forgets it: the request runs on a
// thread of its own and nothing waits for it or reads the page.
void LoadPageInBackground(const std::string& url);
