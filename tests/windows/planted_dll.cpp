// Planted under a system DLL's name, it leaves "<its path>.loaded" once loaded.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    WCHAR path[MAX_PATH + 8] = {0};
    if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameW(self, path, MAX_PATH) < MAX_PATH) {
        CloseHandle(CreateFileW(lstrcatW(path, L".loaded"), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                0, NULL));
    }
    return TRUE;
}
