// What the lease tests share: addresses and lease facts as dotted text, and
// the interface's own address as the kernel keeps it.
#pragma once

#include <arpa/inet.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lease_policy.h"

inline Ipv4Bytes Ip(const std::string& dotted)
{
    Ipv4Bytes address;
    inet_pton(AF_INET, dotted.c_str(), address.bytes);
    return address;
}

// "" when not have.
inline std::string Dotted(bool have, const Ipv4Bytes& address)
{
    char text[INET_ADDRSTRLEN] = {};
    return have ? inet_ntop(AF_INET, address.bytes, text, sizeof text) : "";
}

inline std::string AddressOf(const LeaseFacts& facts)
{
    return Dotted(facts.haveAddress, facts.address);
}

inline std::string ServerOf(const LeaseFacts& facts)
{
    return Dotted(facts.haveServer, facts.server);
}

inline std::vector<std::string> WinsOf(const LeaseFacts& facts)
{
    std::vector<std::string> wins;
    for (const Ipv4Bytes& address : facts.wins) {
        wins.push_back(Dotted(true, address));
    }
    return wins;
}

// 10.0.0.5, the address the lease tests' interface holds, as the kernel
// keeps it.
inline AssignedAddress Own(bool finite, int64_t updated, int64_t expires)
{
    return AssignedAddress{Ip("10.0.0.5"), finite, updated, expires};
}
