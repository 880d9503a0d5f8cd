// What the machine's DHCP clients keep about their leases.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct LeaseFacts {
    bool found = false;             // a DHCP client keeps a lease for the interface
    std::string server;             // DHCP server, dotted decimal; empty when unknown
    std::vector<std::string> wins;  // WINS servers, dotted decimal, primary first
    bool timesKnown = false;        // obtained/expires come from the lease store
    int64_t obtained = 0;           // seconds since 1970-01-01 UTC
    int64_t expires = 0;
};

struct LeaseInterface {
    std::string name;
    uint32_t index;
};

// Reads every lease store below root ("/" on a real run), listing each
// store's directory once, and returns the facts found, keyed by interface
// index. Interfaces without a lease are absent from the result.
std::unordered_map<uint32_t, LeaseFacts> ReadLeases(const std::string& root,
                                                    const std::vector<LeaseInterface>& interfaces);
