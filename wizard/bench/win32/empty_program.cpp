// The least a Windows GUI program can do: start and end. The whole run of
// the wizard is measured against this program started the same way.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
