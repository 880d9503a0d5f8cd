#include "fake_version.h"

#include <cstring>

static std::vector<std::string> namesAsked;
static std::vector<std::string> pathsQueried;
static bool scripted = false;
static FakeVersionRecord script;

static DWORD ScriptedBlockSize()
{
    return (DWORD)script.fileVersion.size() + 1;
}

void ScriptFakeVersion(const FakeVersionRecord& record)
{
    scripted = true;
    script = record;
}

const std::vector<std::string>& FakeVersionNamesAsked()
{
    return namesAsked;
}

const std::vector<std::string>& FakeVersionPathsQueried()
{
    return pathsQueried;
}

void ResetFakeVersion()
{
    namesAsked.clear();
    pathsQueried.clear();
    scripted = false;
    script = FakeVersionRecord();
}

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle)
{
    namesAsked.push_back(lptstrFilename);
    if (lpdwHandle != NULL) {
        *lpdwHandle = 0;
    }
    return scripted ? ScriptedBlockSize() : 0;
}

BOOL GetFileVersionInfoA(LPCSTR, DWORD, DWORD dwLen, LPVOID lpData)
{
    if (!scripted || script.readFails || dwLen < ScriptedBlockSize()) {
        return 0;
    }
    memcpy(lpData, script.fileVersion.c_str(), ScriptedBlockSize());
    return 1;
}

BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen)
{
    pathsQueried.push_back(lpSubBlock);
    if (!scripted || script.queryFails) {
        return 0;
    }
    *lplpBuffer = const_cast<void*>(pBlock);
    *puLen = script.reportedLength != 0 ? script.reportedLength : ScriptedBlockSize();
    return 1;
}
