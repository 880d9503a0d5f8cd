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
#include "posix.h"

struct LeaseInterface {
    std::string name;
    uint32_t index;
    // Its link-layer address in lowercase hex, as ConnMan names services.
    std::string hardware = {};
};

// The candidate files of every lease store, and each store's folder,
// listed and later read through one descriptor (null when not listed).
struct LeaseStoreFiles {
    Directory networkdDir, dhclientDir, networkManagerDir, dhcpcdDir, networkManagerStateDir,
        connmanDir;
    std::string dhcpcdRunDir;
    // interface index, file
    std::vector<std::pair<uint32_t, std::string>> networkd, networkManagerState;
    std::vector<std::string> dhclient, networkManager, dhcpcd;
    std::vector<std::string> connman;  // ConnMan's service folders, each with its settings

    bool empty() const
    {
        return networkd.empty() && networkManagerState.empty() && dhclient.empty() &&
               networkManager.empty() && dhcpcd.empty() && connman.empty();
    }
};

// Lists the lease stores below a root directory (its path without the
// final slash: "" on a real run) into *stores, each store's directory
// opened once, no further than kLeaseEntryLimit entries. Nothing is read
// yet, so a machine without lease files costs nothing per interface. 0, or the errno value of a
// failure to list a store that is there (EMFILE, ENFILE, ENOMEM, EIO): its leases would be missing,
// so *stores must not be used. A store that is absent or not ours to read is no error.
int ListLeaseStores(const std::string& root, LeaseStoreFiles* stores);

// Every lease the stores hold for the interfaces into *leases, keyed by
// interface index, the most recently obtained first. Interfaces without a
// lease are absent.
//
// A lease whose store records no obtained time (systemd-networkd,
// NetworkManager's internal client, an infinite lease of NetworkManager, a
// dhclient lease written as "expire never") ranks by the time its file was
// last written, which these clients do at least on every bind and renewal.
// Equal times fall back to the file's own time, then to the store:
// systemd-networkd, dhclient (its own files and NetworkManager's dhclient
// backend), dhcpcd, NetworkManager's runtime state, NetworkManager's
// internal client, whose file is left out where the runtime state holds a
// lease, ConnMan. A dhcpcd lease file this process may not read is asked of dhcpcd
// over its unprivileged control socket. Files above kLeaseFileLimit bytes
// are ignored, and nothing more is read once kLeaseReadLimit bytes have
// been. A lease may be stale or belong to another network namespace;
// whoever applies it must check it with ChooseLiveLease.
//
// Returns 0, or the errno value of a failure that would lose leases that are
// there (EMFILE, ENFILE, ENOMEM, EIO, EINTR that outlasts the retries); the
// leases are then incomplete and must not be used. Files that are gone, not
// ours to read or no regular files hold no lease and are no error.
using LeaseCandidates = std::vector<LeaseFacts>;
int ReadLeases(const LeaseStoreFiles& stores, const std::vector<LeaseInterface>& interfaces,
               std::unordered_map<uint32_t, LeaseCandidates>* leases);

constexpr size_t kLeaseFileLimit = 1024 * 1024;
constexpr size_t kLeaseEntryLimit = 8192;
constexpr size_t kLeaseReadLimit = 128 * 1024 * 1024;

// What the dhcpcd managing an interface dumps of its IPv4 lease over its
// unprivileged control socket in runDir (mode 0666, "/run/dhcpcd" on a real
// run) into *entries: one entry per state, for ParseDhcpcdDump. The reply
// is bounded and untrusted. Returns 0; EINVAL for no interface name; the
// errno value of connect when no dhcpcd listens (ENOENT, ECONNREFUSED);
// ETIMEDOUT when the answer does not come whole in time; EBADMSG when it
// is malformed (a count or length past its bound, a reply that ends
// short); or the errno value of another failed call. The entries that
// came whole before a failure stay in *entries.
int AskDhcpcdLease(const std::string& runDir, std::string_view interface, int timeoutMilliseconds,
                   std::vector<std::string>* entries);
