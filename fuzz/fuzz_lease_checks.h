// What every reader must hold to, whatever the input: a lease not found
// leaves the facts as they were, and known times are in order.
#pragma once

#include <cerrno>
#include <cstdlib>

#include "lease_parsers.h"

inline void CheckFacts(int error, const LeaseFacts& facts)
{
    if (error != 0 && (facts.haveAddress || facts.haveServer || !facts.wins.empty() ||
                       facts.obtainedKnown || facts.end != LeaseEnd::kUnknown)) {
        abort();
    }
    if (facts.obtainedKnown &&
        (facts.obtained < 0 || (facts.end == LeaseEnd::kAt && facts.expires < facts.obtained))) {
        abort();
    }
}

// A KEY=VALUE file is a lease exactly when it names the lease's address.
inline void CheckNamedAddress(int error, const LeaseFacts& facts)
{
    CheckFacts(error, facts);
    if ((error != 0 && error != ENOENT) || (error == 0) != facts.haveAddress) {
        abort();
    }
}
