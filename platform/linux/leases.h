// What the machine's DHCP clients keep about their leases: where the
// stores are, and every lease they hold for each interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "lease_parsers.h"

struct LeaseInterface {
    std::string name;
    uint32_t index;
};

// The candidate files of every lease store below a root directory ("/" on a
// real run), each store's directory listed once. Nothing is read yet, so a
// machine without lease files costs nothing per interface.
struct LeaseStores {
    std::string networkdDir, dhclientDir, networkManagerDir, dhcpcdDir;
    std::string networkManagerStateDir, dhcpcdRunDir;
    // interface index, file
    std::vector<std::pair<uint32_t, std::string>> networkd, networkManagerState;
    std::vector<std::string> dhclient, networkManager, dhcpcd;

    bool empty() const
    {
        return networkd.empty() && networkManagerState.empty() && dhclient.empty() &&
               networkManager.empty() && dhcpcd.empty();
    }
};

LeaseStores ListLeaseStores(const std::string& root);

// Every lease the stores hold for the interfaces, keyed by interface index,
// the most recently obtained first. Interfaces without a lease are absent.
//
// A lease whose store records no obtained time (systemd-networkd,
// NetworkManager's internal client, an infinite lease of NetworkManager, a
// dhclient lease written as "expire never") ranks by the time its file was
// last written, which these clients do at least on every bind and renewal.
// Equal times fall back to the file's own time, then to the store:
// systemd-networkd, dhclient (its own files and NetworkManager's dhclient
// backend), dhcpcd, NetworkManager's runtime state, NetworkManager's
// internal client, whose file is left out where the runtime state holds a
// lease. A dhcpcd lease file this process may not read is asked of dhcpcd
// over its unprivileged control socket. Files above kLeaseFileLimit bytes
// are ignored. A lease may be stale or belong to another network namespace;
// whoever applies it must check it with ChooseLiveLease.
using LeaseCandidates = std::vector<LeaseFacts>;
std::unordered_map<uint32_t, LeaseCandidates> ReadLeases(
    const LeaseStores& stores, const std::vector<LeaseInterface>& interfaces);

constexpr size_t kLeaseFileLimit = 1024 * 1024;

// What the dhcpcd managing an interface dumps of its IPv4 lease over its
// unprivileged control socket in runDir (mode 0666, "/run/dhcpcd" on a real
// run): one entry per state, for ParseDhcpcdDump. Empty when no dhcpcd
// answers in time; the reply is bounded and untrusted.
std::vector<std::string> AskDhcpcdLease(const std::string& runDir, std::string_view interface,
                                        int timeoutMilliseconds);
