// The adapter query's own pieces beyond Ostrel() itself (os_api.h).
#pragma once

#include "os_api.h"

// The result code for an errno value from the kernel reader or the lease
// stores: the kernel refusing the request, lacking memory, or lacking
// rtnetlink, or the process out of file descriptors; any other failure is
// ERROR_GEN_FAILURE.
DWORD MapKernelError(int error);

// How many kernel snapshots Ostrel has taken in this process.
unsigned long CountAdapterSnapshots();
