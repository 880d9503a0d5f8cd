// Version information read from the version record that the build embeds,
// as a compiled .res image, in a section of the ELF executable.
#include <cstring>
#include <string>
#include <vector>

#include "os_api.h"
#include "version_file.h"
#include "version_record.h"

namespace {

const DWORD kErrorFileNotFound = 2;
const DWORD kErrorResourceDataNotFound = 1812;

// The record of the named file, checked to be sound at its root.
bool LoadVersionRecord(const char* name, std::vector<uint8_t>* section, const uint8_t** record,
                       size_t* length)
{
    std::string path;
    if (!ResolveVersionFile(name, &path)) {
        SetLastError(kErrorFileNotFound);
        return false;
    }
    const uint8_t* data = NULL;
    size_t size = 0;
    if (!ReadElfSection(path, kResourceSectionName, section) ||
        !FindVersionResource(section->data(), section->size(), &data, &size) ||
        (*length = MeasureVersionRecord(data, size)) == 0) {
        SetLastError(kErrorResourceDataNotFound);
        return false;
    }
    *record = data;
    return true;
}

}  // namespace

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle)
{
    if (lpdwHandle != NULL) {
        *lpdwHandle = 0;
    }
    std::vector<uint8_t> section;
    const uint8_t* record = NULL;
    size_t length = 0;
    if (!LoadVersionRecord(lptstrFilename, &section, &record, &length)) {
        return 0;
    }
    return (DWORD)VersionBlockSize(length);
}

BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData)
{
    (void)dwHandle;
    std::vector<uint8_t> section;
    const uint8_t* record = NULL;
    size_t length = 0;
    if (lpData == NULL || !LoadVersionRecord(lptstrFilename, &section, &record, &length)) {
        return 0;
    }
    // The file may have changed since its size was asked for.
    if (dwLen < VersionBlockSize(length)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    FillVersionBlock(record, length, (uint8_t*)lpData);
    return 1;
}

BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen)
{
    return QueryVersionBlock((uint8_t*)pBlock, lpSubBlock, lplpBuffer, puLen);
}
