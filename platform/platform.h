// The operating-system services Ostrel uses, under the platform's own names.
// The build puts the right directory for the target first on the include
// path: platform/windows maps to the system headers, platform/linux supplies
// the same types and contracts itself.
#pragma once

#include "os_api.h"
