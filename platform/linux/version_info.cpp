// Version information read from the version record that the build embeds,
// as a compiled .res image, in a section of the ELF executable.
#include <new>
#include <vector>

#include "os_api.h"
#include "version_file.h"
#include "version_record.h"

namespace {

// The measured record of the named file.
bool LoadVersionRecord(const char* name, std::vector<uint8_t>* record)
{
    VersionLookup found = LoadFileVersionRecord(name, record);
    if (found != kVersionFound) {
        SetLastError(found == kVersionNoFile ? ERROR_FILE_NOT_FOUND
                                             : ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    return true;
}

}  // namespace

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle)
{
    if (lpdwHandle != NULL) {
        *lpdwHandle = 0;
    }
    try {
        std::vector<uint8_t> record;
        if (!LoadVersionRecord(lptstrFilename, &record)) {
            return 0;
        }
        return (DWORD)VersionBlockSize(record.size());
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    } catch (...) {
        SetLastError(ERROR_GEN_FAILURE);
        return 0;
    }
}

BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData)
{
    (void)dwHandle;
    try {
        std::vector<uint8_t> record;
        if (lpData == NULL || !LoadVersionRecord(lptstrFilename, &record)) {
            return 0;
        }
        // The file may have changed since its size was asked for.
        if (dwLen < VersionBlockSize(record.size())) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        FillVersionBlock(record.data(), record.size(), (uint8_t*)lpData);
        return 1;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    } catch (...) {
        SetLastError(ERROR_GEN_FAILURE);
        return 0;
    }
}

BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen)
{
    try {
        return QueryVersionBlock((uint8_t*)pBlock, lpSubBlock, lplpBuffer, puLen);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    } catch (...) {
        SetLastError(ERROR_GEN_FAILURE);
        return 0;
    }
}
