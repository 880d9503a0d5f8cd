// systemd-networkd's and NetworkManager's internal client's lease files,
// and NetworkManager's runtime state of a device.
#include "fuzz_lease_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // Both files are only a lease when they name its address, and neither
    // dates a lease: at most networkd's marks one that never ends.
    LeaseFacts internal = ParseNetworkManagerInternalLease(text);
    for (const LeaseFacts& facts : {ParseNetworkdLease(text), internal}) {
        CheckFacts(facts);
        if (facts.found != facts.haveAddress || facts.obtainedKnown || facts.end == LeaseEnd::kAt) {
            abort();
        }
    }
    if (internal.end != LeaseEnd::kUnknown) {
        abort();
    }
    LeaseFacts state = ParseNetworkManagerState(text);
    CheckFacts(state);
    if (state.found != state.haveAddress) {
        abort();
    }
    return 0;
}
