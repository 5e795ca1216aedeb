#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

// Small lookups the tests and the demo make in other programs' windows.

// A control anywhere inside `window` (children of children too), by its
// identifier; null when there is none.
HWND FindControl(HWND window, int id);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);

// The folder of the running program, where the build puts the programs a
// test starts.
std::filesystem::path ProgramFolder();
