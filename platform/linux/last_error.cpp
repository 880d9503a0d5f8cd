// The thread's last error.
#include "os_api.h"

static thread_local DWORD lastError = ERROR_SUCCESS;

void SetLastError(DWORD dwErrCode)
{
    lastError = dwErrCode;
}

DWORD GetLastError(void)
{
    return lastError;
}
