// The offsets file of a time namespace: only a monotonic line's value is
// taken, and it stays within what its two fields can say.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kernel_time.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const int64_t unset = INT64_MIN;
    int64_t hundredths = unset;
    int error = ParseMonotonicOffset(text, &hundredths);
    constexpr int64_t kBound = int64_t{INT32_MAX} * 100 + 99;
    if ((error != 0 && hundredths != unset) ||
        (error != 0 && error != ENOENT && error != EBADMSG) ||
        (error == 0 && (hundredths < -kBound || hundredths > kBound))) {
        abort();
    }
    return 0;
}
