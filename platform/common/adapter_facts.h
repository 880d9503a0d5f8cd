// What an OS layer knows about one network adapter, in plain OS-neutral
// terms. Each layer gathers these; one writer turns them into records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An IPv4 address, its bytes in network order.
struct Ipv4Bytes {
    uint8_t bytes[4] = {};
};

// An address of the adapter itself, with the length of its on-link prefix.
struct AdapterAddress {
    Ipv4Bytes address;
    uint8_t prefixLength = 0;
};

struct AdapterFacts {
    std::string name;             // raw bytes as the system gave them
    std::string description;      // raw bytes as the system gave them
    uint8_t hardware[8] = {};     // the first bytes of the hardware address
    uint32_t hardwareLength = 0;  // the system's length, which may exceed 8
    uint32_t index = 0;
    uint32_t type = 0;  // interface type number (ipifcons.h)
    bool dhcpEnabled = false;
    std::vector<AdapterAddress> addresses;  // the primary address first
    std::vector<Ipv4Bytes> gateways;        // in the order routes prefer them
    bool haveDhcpServer = false;
    Ipv4Bytes dhcpServer;
    std::vector<Ipv4Bytes> wins;  // primary first; only two are recorded
    int64_t leaseObtained = 0;    // seconds since 1970-01-01 UTC, 0 when unknown
    int64_t leaseExpires = 0;
};
