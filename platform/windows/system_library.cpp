// version.dll and iphlpapi.dll are no KnownDLLs: named in the import table,
// they would be searched for beside the executable first, where whoever can
// drop a file next to it would have their code run by the tool. So they are
// loaded here, from the system folder only, as one set on first use.
#include <cwchar>

#include "os_api.h"

namespace {

struct SystemFunctions {
    DWORD result;  // ERROR_SUCCESS, or why the set could not be loaded
    DWORD(WINAPI* getFileVersionInfoSizeA)(LPCSTR, LPDWORD);
    BOOL(WINAPI* getFileVersionInfoA)(LPCSTR, DWORD, DWORD, LPVOID);
    BOOL(WINAPI* verQueryValueA)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    ULONG(WINAPI* getAdaptersAddresses)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES, PULONG);
};

HMODULE LoadFromSystemFolder(const wchar_t* name)
{
    HMODULE module = LoadLibraryExW(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != NULL || GetLastError() != ERROR_INVALID_PARAMETER) {
        return module;
    }
    // Systems without KB2533623 do not know the flag. A full path names the
    // system's copy, and the altered search looks for that copy's own
    // imports beside it rather than beside the executable.
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0) {
        return NULL;
    }
    if (length + 1 + wcslen(name) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return NULL;
    }
    path[length] = L'\\';
    wcscpy(path + length + 1, name);
    return LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function* function)
{
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *function != NULL;
}

// Libraries that the runtime or the system load on their own later on are
// kept to the system folder too: the stack guard's random source brings in
// a cryptographic provider, and under Wine version.dll with it. Priority 101
// runs this before the guard's own initialiser. Systems without KB2533623
// lack the call.
__attribute__((constructor(101))) void RestrictLibrarySearch()
{
    BOOL(WINAPI * setDefaultDirectories)(DWORD) = NULL;
    if (Resolve(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories",
                &setDefaultDirectories)) {
        setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}

// The libraries stay loaded for the rest of the run.
SystemFunctions LoadSystemFunctions()
{
    SystemFunctions loaded = {};
    HMODULE version = LoadFromSystemFolder(L"version.dll");
    HMODULE iphlpapi = version != NULL ? LoadFromSystemFolder(L"iphlpapi.dll") : NULL;
    if (iphlpapi == NULL) {
        loaded.result = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_MOD_NOT_FOUND;
    } else if (!Resolve(version, "GetFileVersionInfoSizeA", &loaded.getFileVersionInfoSizeA) ||
               !Resolve(version, "GetFileVersionInfoA", &loaded.getFileVersionInfoA) ||
               !Resolve(version, "VerQueryValueA", &loaded.verQueryValueA) ||
               !Resolve(iphlpapi, "GetAdaptersAddresses", &loaded.getAdaptersAddresses)) {
        loaded.result = ERROR_PROC_NOT_FOUND;
    }
    return loaded;
}

const SystemFunctions& SystemSet()
{
    static const SystemFunctions loaded = LoadSystemFunctions();
    return loaded;
}

// Refuses as the version functions do: 0, with the reason as the last error.
template <typename Function, typename... Args>
DWORD CallVersionFunction(Function SystemFunctions::*function, Args... args)
{
    const SystemFunctions& system = SystemSet();
    if (system.result != ERROR_SUCCESS) {
        SetLastError(system.result);
        return 0;
    }
    return (DWORD)(system.*function)(args...);
}

}  // namespace

DWORD SystemGetFileVersionInfoSizeA(LPCSTR name, LPDWORD handle)
{
    return CallVersionFunction(&SystemFunctions::getFileVersionInfoSizeA, name, handle);
}

BOOL SystemGetFileVersionInfoA(LPCSTR name, DWORD handle, DWORD length, LPVOID data)
{
    return (BOOL)CallVersionFunction(&SystemFunctions::getFileVersionInfoA, name, handle, length,
                                     data);
}

BOOL SystemVerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* value, PUINT length)
{
    return (BOOL)CallVersionFunction(&SystemFunctions::verQueryValueA, block, subBlock, value,
                                     length);
}

// The tool's query passes the reason on: the run ends with its code and text.
ULONG SystemGetAdaptersAddresses(ULONG family, ULONG flags, PVOID reserved,
                                 PIP_ADAPTER_ADDRESSES list, PULONG size)
{
    const SystemFunctions& system = SystemSet();
    return system.result != ERROR_SUCCESS
               ? system.result
               : system.getAdaptersAddresses(family, flags, reserved, list, size);
}
