#include <unistd.h>

#include "platform.h"

BOOL IsConsoleStream(FILE* stream)
{
    int fd = fileno(stream);
    return fd >= 0 && isatty(fd) ? 1 : 0;
}
