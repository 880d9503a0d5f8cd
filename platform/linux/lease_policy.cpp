#include "lease_policy.h"

#include <arpa/inet.h>
#include <time.h>

#include <cstring>

namespace {

// Stored addresses are canonical dotted quads; anything else is left out.
bool ParseDotted(const std::string& text, Ipv4Bytes* address)
{
    return !text.empty() && inet_pton(AF_INET, text.c_str(), address->bytes) == 1;
}

void ApplyLeaseFacts(const LeaseFacts& lease, int64_t obtained, int64_t expires,
                     AdapterFacts& facts)
{
    facts.dhcpEnabled = true;
    facts.haveDhcpServer = ParseDotted(lease.server, &facts.dhcpServer);
    for (const std::string& text : lease.wins) {
        Ipv4Bytes wins;
        if (!ParseDotted(text, &wins)) {
            break;
        }
        facts.wins.push_back(wins);
    }
    facts.leaseObtained = obtained;
    facts.leaseExpires = expires;
}

HeldAddress DescribeHeldAddress(const NetAddress& address, const KernelClock& clock)
{
    HeldAddress held;
    held.finite = address.finite;
    // tstamp wraps at 2^32 hundredths; the modular difference survives that.
    uint32_t ageHundredths = static_cast<uint32_t>(clock.monotonicHundredths) - address.updated;
    held.updated = clock.realSeconds - ageHundredths / 100;
    held.expires = clock.realSeconds + address.validSeconds;
    return held;
}

// A lease file outlives its client and, keyed by interface index or name,
// is also seen from network namespaces whose interfaces share that index or
// name; only a live lease for an address the interface holds is its own.
bool ApplyOwnLease(const LeaseCandidates& candidates, const NetAddress* const* held,
                   size_t heldCount, const KernelClock& clock, AdapterFacts& facts)
{
    auto lookup = [&](uint32_t leased, HeldAddress* found) {
        for (size_t i = 0; i < heldCount; ++i) {
            const NetAddress* address = held[i];
            if (memcmp(address->address, &leased, sizeof(address->address)) == 0) {
                *found = DescribeHeldAddress(*address, clock);
                return true;
            }
        }
        return false;
    };
    int64_t obtained = 0;
    int64_t expires = 0;
    const LeaseFacts* lease =
        ChooseLiveLease(candidates, lookup, clock.realSeconds, &obtained, &expires);
    if (lease == nullptr) {
        return false;
    }
    ApplyLeaseFacts(*lease, obtained, expires, facts);
    return true;
}

}  // namespace

const LeaseFacts* ChooseLiveLease(const LeaseCandidates& candidates,
                                  const HeldAddressLookup& lookup, int64_t now, int64_t* obtained,
                                  int64_t* expires)
{
    for (const LeaseFacts& lease : candidates) {
        // A lease that names no address cannot be told apart from another
        // namespace's lease for an interface of the same name or index.
        in_addr leased;
        HeldAddress held;
        if (!lease.found || lease.address.empty() ||
            inet_pton(AF_INET, lease.address.c_str(), &leased) != 1 ||
            !lookup(leased.s_addr, &held)) {
            continue;
        }
        if (lease.end == LeaseEnd::kAt) {
            if (lease.expires <= now) {
                continue;
            }
            *expires = lease.expires;
        } else if (lease.end == LeaseEnd::kNever) {
            *expires = kLeaseNeverEnds;
        } else if (held.finite) {
            *expires = held.expires;
        } else {
            // The client keeps no end and the kernel keeps the address
            // forever: it was set by hand or by another tool since.
            continue;
        }
        *obtained = lease.obtainedKnown ? lease.obtained : held.updated;
        return &lease;
    }
    return nullptr;
}

KernelClock ReadKernelClock()
{
    KernelClock clock;
    timespec real = {};
    timespec monotonic = {};
    clock_gettime(CLOCK_REALTIME, &real);
    clock_gettime(CLOCK_MONOTONIC, &monotonic);
    clock.realSeconds = real.tv_sec;
    clock.monotonicHundredths = static_cast<uint64_t>(monotonic.tv_sec) * 100 +
                                static_cast<uint64_t>(monotonic.tv_nsec) / 10000000;
    return clock;
}

void ApplyLeasePolicy(const NetAddress* const* held, size_t heldCount,
                      const LeaseCandidates* candidates, const KernelClock& clock,
                      AdapterFacts& facts)
{
    if (candidates != nullptr && ApplyOwnLease(*candidates, held, heldCount, clock, facts)) {
        return;
    }
    // An address the kernel will drop after a while was handed out by a
    // DHCP client; its lifetime and last update are the lease.
    for (size_t i = 0; i < heldCount; ++i) {
        const NetAddress* address = held[i];
        if (address->finite) {
            HeldAddress kernel = DescribeHeldAddress(*address, clock);
            facts.dhcpEnabled = true;
            facts.leaseObtained = kernel.updated;
            facts.leaseExpires = kernel.expires;
            return;
        }
    }
}
