#include <io.h>

#include "platform.h"

BOOL IsConsoleStream(FILE* stream)
{
    // _isatty answers yes for every character device, the null device
    // included; only a console handle has a console mode.
    int fd = _fileno(stream);
    if (fd < 0) {
        return FALSE;
    }
    HANDLE handle = (HANDLE)_get_osfhandle(fd);
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? TRUE : FALSE;
}
