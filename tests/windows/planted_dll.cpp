// A DLL planted beside the tool under a system DLL's name: loaded, it leaves
// "<its own path>.loaded" behind, and it refuses every call it exports.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    WCHAR path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (reason == DLL_PROCESS_ATTACH && length > 0 && length < MAX_PATH) {
        lstrcpyW(path + length, L".loaded");
        CloseHandle(CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    }
    return TRUE;
}

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR, LPDWORD)
{
    return 0;
}
BOOL WINAPI GetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID)
{
    return FALSE;
}
BOOL WINAPI VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, PUINT)
{
    return FALSE;
}
extern "C" ULONG WINAPI GetAdaptersAddresses(ULONG, ULONG, PVOID, PVOID, PULONG)
{
    return ERROR_NOT_SUPPORTED;
}
