// systemd-networkd's and NetworkManager's internal client's lease files,
// and NetworkManager's runtime state of a device.
#include "fuzz_lease_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // Neither file dates a lease: at most networkd's marks one that never
    // ends.
    LeaseFacts files[2];
    int errors[2] = {ParseNetworkdLease(text, &files[0]),
                     ParseNetworkManagerInternalLease(text, &files[1])};
    for (int i = 0; i < 2; i++) {
        CheckNamedAddress(errors[i], files[i]);
        if (files[i].obtainedKnown || files[i].end == LeaseEnd::kAt) {
            abort();
        }
    }
    if (files[1].end != LeaseEnd::kUnknown) {
        abort();
    }
    LeaseFacts state;
    CheckNamedAddress(ParseNetworkManagerState(text, &state), state);
    return 0;
}
