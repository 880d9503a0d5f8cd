// ConnMan's settings of a service.
#include "fuzz_lease_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    LeaseFacts facts;
    int error = ParseConnmanSettings(text, &facts);
    CheckNamedAddress(error, facts);
    // The file names an address and nothing else: the lease lasts while
    // the interface holds it.
    if (error == 0 && (facts.end != LeaseEnd::kWithAddress || facts.haveServer ||
                       !facts.wins.empty() || facts.obtainedKnown || facts.renews)) {
        abort();
    }
    return 0;
}
