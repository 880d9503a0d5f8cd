// dhcpcd's lease files, a raw DHCP reply dated by the file's mtime, and
// the same input as the lease dump its control socket answers with.
#include <cerrno>
#include <cstdint>

#include "fuzz_lease_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (int64_t mtime : {int64_t{1700000000}, int64_t{0}, int64_t{-1}, INT64_MAX - 86400}) {
        std::string_view text(reinterpret_cast<const char*>(data), size);
        LeaseFacts facts;
        int error = ParseDhcpcdLease(text, mtime, &facts);
        CheckFacts(error, facts);
        if ((error != 0 && error != EBADMSG) ||
            (error == 0 && facts.obtainedKnown != (mtime >= 0))) {
            abort();
        }
        if (facts.obtainedKnown && facts.obtained != mtime) {
            abort();
        }
        LeaseFacts dumped;
        error = ParseDhcpcdDump(text, mtime, &dumped);
        CheckFacts(error, dumped);
        if ((error != 0 && error != ENOENT) ||
            (error == 0 && (!dumped.haveAddress || dumped.obtainedKnown != (mtime >= 0) ||
                            (dumped.obtainedKnown && dumped.obtained != mtime)))) {
            abort();
        }
    }
    return 0;
}
