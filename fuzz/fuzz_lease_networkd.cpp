// systemd-networkd's and NetworkManager's internal client's lease files.
#include "fuzz_lease_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // Both files are only a lease when they name its address.
    for (const LeaseFacts& facts : {ParseNetworkdLease(text), ParseInternalLease(text)}) {
        CheckFacts(facts);
        if (facts.found == facts.address.empty()) {
            abort();
        }
    }
    uint32_t seconds = 0;
    if (ParseLeaseTimespan(text, &seconds) && seconds == UINT32_MAX) {
        abort();
    }
    return 0;
}
