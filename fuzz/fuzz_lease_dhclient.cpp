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
    // The last part of a larger file starts at a line that opens a block.
    std::string_view whole = SkipTornFirstBlock(text);
    size_t start = whole.empty() ? 0 : static_cast<size_t>(whole.data() - text.data());
    if (!whole.empty() &&
        (start == 0 || text[start - 1] != '\n' || whole.substr(0, 5) != "lease")) {
        abort();
    }
    for (const auto& lease : ParseDhclientLeases(whole, "eth0")) {
        CheckFacts(0, lease.second);
    }
    return 0;
}
