// Version information read from the version record that the build embeds,
// as a compiled .res image, in a section of the ELF executable.
#include <new>
#include <vector>

#include "os_api.h"
#include "result_codes.h"
#include "version_file.h"
#include "version_record.h"

namespace {

// The measured record of the running executable, when the name stands for
// it. Returns 0 or the error of
// FindNamedVersionRecord, having then set the thread's last error to the
// platform's code for it: the public functions only return zero after it.
int LoadRecordOrSetLastError(const char* name, std::vector<uint8_t>* record)
{
    int error = FindNamedVersionRecord(name, "/proc/self/exe", record);
    if (error != 0) {
        SetLastError(ResultCodeFor(error));
    }
    return error;
}

// A failure inside becomes the thread's last error and a zero result, the
// way the platform's own version functions report it; nothing escapes.
template <typename Body>
auto CallWithoutThrowing(Body body) -> decltype(body())
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        SetLastError(ERROR_GEN_FAILURE);
    }
    return 0;
}

}  // namespace

DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle)
{
    if (lpdwHandle != nullptr) {
        *lpdwHandle = 0;
    }
    return CallWithoutThrowing([&]() -> DWORD {
        std::vector<uint8_t> record;
        if (LoadRecordOrSetLastError(lptstrFilename, &record) != 0) {
            return 0;
        }
        return static_cast<DWORD>(VersionBlockSize(record.size()));
    });
}

BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData)
{
    (void)dwHandle;
    return CallWithoutThrowing([&]() -> BOOL {
        std::vector<uint8_t> record;
        if (lpData == nullptr || LoadRecordOrSetLastError(lptstrFilename, &record) != 0) {
            return 0;
        }
        // The file may have changed since its size was asked for.
        if (dwLen < VersionBlockSize(record.size())) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        FillVersionBlock(record.data(), record.size(), static_cast<uint8_t*>(lpData));
        return 1;
    });
}

BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen)
{
    return CallWithoutThrowing([&]() -> BOOL {
        return QueryVersionBlock(const_cast<uint8_t*>(static_cast<const uint8_t*>(pBlock)),
                                 lpSubBlock, lplpBuffer, puLen);
    });
}
