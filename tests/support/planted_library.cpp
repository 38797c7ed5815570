// A library planted beside a program or in its current folder, for the
// tests of the launcher's library search: loading it is all it is for.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
