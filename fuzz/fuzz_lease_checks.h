// What every reader must hold to, whatever the input: nothing is kept of
// a lease not found, and known times are in order.
#pragma once

#include <cstdlib>

#include "leases/lease_parsers.h"

inline void CheckFacts(const LeaseFacts& facts)
{
    if (!facts.found && (facts.haveAddress || facts.haveServer || !facts.wins.empty() ||
                         facts.obtainedKnown || facts.end != LeaseEnd::kUnknown)) {
        abort();
    }
    if (facts.obtainedKnown &&
        (facts.obtained < 0 || (facts.end == LeaseEnd::kAt && facts.expires < facts.obtained))) {
        abort();
    }
}
