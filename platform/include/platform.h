// The operating-system services Ostrel uses, under the platform's own names.
// The build puts the right directory for the target first on the include
// path: platform/windows maps to the system headers, platform/linux supplies
// the same types and contracts itself.
#pragma once

#include <cstdio>

#include "os_api.h"

// Nonzero when the stream is attached to an interactive terminal (a console
// on Windows); zero for a file, a pipe, the null device or a closed stream.
BOOL IsConsoleStream(FILE* stream);
