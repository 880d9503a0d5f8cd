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

void ApplyLeaseFacts(const LeaseFacts& lease, AdapterFacts& facts)
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
    if (lease.timesKnown) {
        facts.leaseObtained = lease.obtained;
        facts.leaseExpires = lease.expires;
    }
}

// A lease file outlives its client and, keyed by interface index or name,
// is also seen from network namespaces whose interfaces share that index or
// name; only a lease whose address the interface holds is its own. A lease
// that names no address cannot be told apart from a stranger's, so it is
// not taken either. *address is the interface's address the lease is for.
const LeaseFacts* FindOwnLease(const LeaseCandidates& candidates,
                               const std::vector<const NetAddress*>& held,
                               const NetAddress** address)
{
    for (const LeaseFacts& lease : candidates) {
        in_addr leased;
        if (!lease.found || lease.address.empty() ||
            inet_pton(AF_INET, lease.address.c_str(), &leased) != 1) {
            continue;
        }
        for (const NetAddress* own : held) {
            if (memcmp(own->address, &leased, sizeof(own->address)) == 0) {
                *address = own;
                return &lease;
            }
        }
    }
    return nullptr;
}

// An address the kernel will drop after a while was handed out by a DHCP
// client; its lifetime and last update are the lease.
void ApplyKernelLease(const NetAddress& address, const KernelClock& clock, bool setEnabled,
                      AdapterFacts& facts)
{
    if (setEnabled) {
        facts.dhcpEnabled = true;
    }
    // tstamp wraps at 2^32 hundredths; the modular difference survives that.
    uint32_t ageHundredths = static_cast<uint32_t>(clock.monotonicHundredths) - address.updated;
    facts.leaseObtained = clock.realSeconds - ageHundredths / 100;
    facts.leaseExpires = clock.realSeconds + address.validSeconds;
}

}  // namespace

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

void ApplyLeasePolicy(const std::vector<const NetAddress*>& held, const LeaseCandidates* candidates,
                      const KernelClock& clock, AdapterFacts& facts)
{
    const NetAddress* address = nullptr;
    const LeaseFacts* lease =
        candidates == nullptr ? nullptr : FindOwnLease(*candidates, held, &address);
    if (lease != nullptr) {
        ApplyLeaseFacts(*lease, facts);
        if (!lease->timesKnown && address->finite) {
            ApplyKernelLease(*address, clock, false, facts);
        }
        return;
    }
    for (const NetAddress* own : held) {
        if (own->finite) {
            ApplyKernelLease(*own, clock, true, facts);
            return;
        }
    }
}
