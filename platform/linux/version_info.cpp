// Version information: the record is not embedded yet, so every file
// reports none.
#include "os_api.h"

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle)
{
    (void)lptstrFilename;
    if (lpdwHandle != NULL) {
        *lpdwHandle = 0;
    }
    return 0;
}

BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData)
{
    (void)lptstrFilename;
    (void)dwHandle;
    (void)dwLen;
    (void)lpData;
    return 0;
}

BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen)
{
    (void)pBlock;
    (void)lpSubBlock;
    (void)lplpBuffer;
    (void)puLen;
    return 0;
}
