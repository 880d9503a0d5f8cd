// systemd-networkd's and NetworkManager's internal client's lease files,
// and NetworkManager's runtime state of a device.
#include <cerrno>

#include "fuzz_lease_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // Both files are only a lease when they name its address, and neither
    // dates a lease: at most networkd's marks one that never ends.
    LeaseFacts networkd, internal, state;
    int errors[] = {ParseNetworkdLease(text, &networkd),
                    ParseNetworkManagerInternalLease(text, &internal),
                    ParseNetworkManagerState(text, &state)};
    int i = 0;
    for (const LeaseFacts* facts : {&networkd, &internal, &state}) {
        int error = errors[i++];
        CheckFacts(error, *facts);
        if ((error != 0 && error != ENOENT) || (error == 0) != facts->haveAddress) {
            abort();
        }
        if (facts != &state && (facts->obtainedKnown || facts->end == LeaseEnd::kAt)) {
            abort();
        }
    }
    if (internal.end != LeaseEnd::kUnknown) {
        abort();
    }
    return 0;
}
