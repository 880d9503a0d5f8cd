// What every reader must hold to, whatever the input: only re-printed
// dotted quads are stored, and known times are in order.
#pragma once

#include <arpa/inet.h>

#include <cstdlib>

#include "lease_parsers.h"

inline void CheckAddress(const std::string& text)
{
    in_addr address;
    char printed[INET_ADDRSTRLEN];
    if (inet_pton(AF_INET, text.c_str(), &address) != 1 ||
        inet_ntop(AF_INET, &address, printed, sizeof printed) == nullptr || text != printed) {
        abort();
    }
}

inline void CheckFacts(const LeaseFacts& facts)
{
    if (!facts.found && (!facts.address.empty() || !facts.server.empty() || !facts.wins.empty() ||
                         facts.obtainedKnown || facts.end != LeaseEnd::kUnknown)) {
        abort();
    }
    if (!facts.address.empty()) {
        CheckAddress(facts.address);
    }
    if (!facts.server.empty()) {
        CheckAddress(facts.server);
    }
    for (const std::string& wins : facts.wins) {
        CheckAddress(wins);
    }
    if (facts.obtainedKnown &&
        (facts.obtained < 0 || (facts.end == LeaseEnd::kAt && facts.expires < facts.obtained))) {
        abort();
    }
}
