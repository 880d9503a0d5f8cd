// The one table from errno values to the result codes the platform's
// functions report, for the adapter query and the version functions alike.
#pragma once

#include <cerrno>

#include "os_api.h"

inline DWORD ResultCodeFor(int error)
{
    static const struct {
        int error;
        DWORD code;
    } kCodes[] = {{0, ERROR_SUCCESS},
                  {ENOENT, ERROR_FILE_NOT_FOUND},
                  {ENODATA, ERROR_RESOURCE_DATA_NOT_FOUND},
                  {EACCES, ERROR_ACCESS_DENIED},
                  {EPERM, ERROR_ACCESS_DENIED},
                  {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
                  {ENOBUFS, ERROR_NOT_ENOUGH_MEMORY},
                  {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
                  {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
                  {EAFNOSUPPORT, ERROR_NOT_SUPPORTED},
                  {EPROTONOSUPPORT, ERROR_NOT_SUPPORTED},
                  {EOPNOTSUPP, ERROR_NOT_SUPPORTED}};
    for (const auto& known : kCodes) {
        if (known.error == error) {
            return known.code;
        }
    }
    return ERROR_GEN_FAILURE;
}
