// Local memory, and the C++ runtime's own memory returned before exit.
#include <cstdlib>

#include "os_api.h"

HLOCAL LocalAlloc(UINT uFlags, size_t uBytes)
{
    void* block =
        (uFlags & LMEM_ZEROINIT) ? calloc(1, uBytes ? uBytes : 1) : malloc(uBytes ? uBytes : 1);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return block;
}

HLOCAL LocalFree(HLOCAL hMem)
{
    free(hMem);
    return nullptr;
}

namespace __gnu_cxx {
void __freeres() noexcept;
}

// The C++ runtime is linked into the executable, where nothing returns its
// exception emergency pool before exit; release it so that a run ends with
// every heap block freed. It sits beside LocalFree, which every run links: in
// a file of its own the linker would leave it out of the library's users.
__attribute__((destructor)) static void ReleaseRuntimePool()
{
    __gnu_cxx::__freeres();
}
