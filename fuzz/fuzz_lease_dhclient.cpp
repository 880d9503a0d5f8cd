// dhclient's lease files, its own and NetworkManager's per-interface ones.
#include "fuzz_lease_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& [name, facts] : ParseDhclientLeases(text, "")) {
        if (name.empty() || name.size() > 15) {
            abort();
        }
        CheckFacts(0, facts);
    }
    auto named = ParseDhclientLeases(text, "eth0");
    if (named.size() > 1 || (named.size() == 1 && named.count("eth0") == 0)) {
        abort();
    }
    for (const auto& lease : named) {
        CheckFacts(0, lease.second);
    }
    return 0;
}
