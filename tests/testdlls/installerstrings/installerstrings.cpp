// A stand-in for the installer module's string table: the program looks up
// the text of a Windows Installer result code in the module it loaded, and
// tests need a module whose table they know.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
