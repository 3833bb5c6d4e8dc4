// The entry routine of every DLL we build: nothing to do at load or unload.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
