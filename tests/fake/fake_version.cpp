#include "fake_version.h"

#include "platform.h"

static std::vector<std::string> namesAsked;

const std::vector<std::string>& FakeVersionNamesAsked()
{
    return namesAsked;
}

void ResetFakeVersion()
{
    namesAsked.clear();
}

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle)
{
    namesAsked.push_back(lptstrFilename);
    if (lpdwHandle != NULL) {
        *lpdwHandle = 0;
    }
    return 0;
}

BOOL GetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID)
{
    return 0;
}

BOOL VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, PUINT)
{
    return 0;
}
