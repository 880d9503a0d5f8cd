// Placeholder adapter query until the kernel reader lands.
#include "os_api.h"

DWORD Ostrel(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen)
{
    if (pOutBufLen == NULL || (pAdapterInfo == NULL && *pOutBufLen != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    return ERROR_NOT_SUPPORTED;
}
