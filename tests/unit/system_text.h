// The system's text for a code as the platform returns it: the length the
// call reports, so a wrong length shows as a wrong text.
#pragma once

#include <string>

#include "os_api.h"

inline std::string SystemText(unsigned long code)
{
    LPSTR text = NULL;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        NULL, (DWORD)code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, NULL);
    std::string result(text != NULL ? text : "", length);
    if (text != NULL) {
        LocalFree(text);
    }
    return result;
}
