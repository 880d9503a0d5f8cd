// What the machine's DHCP clients keep about their leases.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// How a lease store says a lease ends.
enum class LeaseEnd {
    kUnknown,  // the store does not say; only the kernel's address lifetime can
    kAt,       // at LeaseFacts::expires
    kNever,    // an infinite lease
};

struct LeaseFacts {
    bool found = false;             // a DHCP client keeps a lease for the interface
    std::string address;            // the leased address, dotted decimal; empty when not given
    std::string server;             // DHCP server, dotted decimal; empty when unknown
    std::vector<std::string> wins;  // WINS servers, dotted decimal, primary first
    bool obtainedKnown = false;     // the store records when the lease was obtained
    int64_t obtained = 0;           // seconds since 1970-01-01 UTC
    LeaseEnd end = LeaseEnd::kUnknown;
    int64_t expires = 0;  // when end is kAt
};

struct LeaseInterface {
    std::string name;
    uint32_t index;
};

// The candidate files of every lease store below a root directory ("/" on a
// real run), each store's directory listed once. Nothing is read yet, so a
// machine without lease files costs nothing per interface.
struct LeaseStores {
    std::string networkdDir, dhclientDir, networkManagerDir, dhcpcdDir;
    std::vector<std::pair<uint32_t, std::string>> networkd;  // interface index, file
    std::vector<std::string> dhclient, networkManager, dhcpcd;

    bool empty() const
    {
        return networkd.empty() && dhclient.empty() && networkManager.empty() && dhcpcd.empty();
    }
};

LeaseStores ListLeaseStores(const std::string& root);

// Every lease the stores hold for the interfaces, keyed by interface index,
// the most recently obtained first. Interfaces without a lease are absent.
//
// A lease whose store records no obtained time (systemd-networkd,
// NetworkManager's internal client, a dhclient lease written as "expire
// never") ranks by the time its file was last written, which these clients
// do at least on every bind and renewal. Equal times fall back to the
// file's own time, then to the store: systemd-networkd, dhclient (its own
// files and NetworkManager's dhclient backend), dhcpcd, NetworkManager's
// internal client. Files above kLeaseFileLimit bytes are ignored. A lease
// may be stale or belong to another network namespace; whoever applies it
// must check it with ChooseLiveLease.
using LeaseCandidates = std::vector<LeaseFacts>;
std::unordered_map<uint32_t, LeaseCandidates> ReadLeases(
    const LeaseStores& stores, const std::vector<LeaseInterface>& interfaces);

constexpr size_t kLeaseFileLimit = 1024 * 1024;

// What the kernel says about the address a lease is for, in seconds since
// 1970-01-01 UTC.
struct HeldAddress {
    bool finite = false;  // the kernel drops the address when its valid lifetime runs out
    int64_t updated = 0;  // when it was last set or renewed
    int64_t expires = 0;  // when finite
};

// LeaseExpires of a lease that never ends, whichever client holds it.
constexpr int64_t kLeaseNeverEnds = INT32_MAX;

// Looks up an address (network byte order) among the interface's own;
// false when the interface does not hold it.
using HeldAddressLookup = std::function<bool(uint32_t address, HeldAddress* held)>;

// The lease an interface's record shows: the first candidate that names an
// address the interface holds and is live there at now. Live: it ends after
// now or never, or its store does not say and the kernel still counts the
// address down. *obtained is the store's where it records one, otherwise
// the address's last update; *expires is the store's, kLeaseNeverEnds for
// an infinite lease, otherwise the kernel's. nullptr when none is live.
const LeaseFacts* ChooseLiveLease(const LeaseCandidates& candidates,
                                  const HeldAddressLookup& lookup, int64_t now, int64_t* obtained,
                                  int64_t* expires);

// The readers below work on a file's bytes only; none of them trusts the
// contents. Stored addresses are always re-printed dotted quads.

// systemd-networkd's <ifindex> file (KEY=VALUE lines). found needs a valid
// ADDRESS, which goes to address. The file holds no start time: only a
// LIFETIME of 4294967295 or "infinity" is kept, as a lease that never ends;
// a finite lease is timed by the kernel's address lifetime.
LeaseFacts ParseNetworkdLease(std::string_view text);

// NetworkManager's internal client file: found when it holds a valid ADDRESS.
LeaseFacts ParseInternalLease(std::string_view text);

// dhclient's append-only lease file: the last complete "lease { }" block of
// each interface, keyed by interface name. fileInterface, when not empty,
// names every block (NetworkManager's per-interface files); otherwise blocks
// without an "interface" statement are dropped. address is the block's
// "fixed-address". expires comes from "expire"; "expire never" or a lease
// time of 4294967295 make a lease that never ends. obtained is expire minus
// the lease time, or else renew minus the renewal time.
std::unordered_map<std::string, LeaseFacts> ParseDhclientLeases(std::string_view text,
                                                                std::string_view fileInterface);

// dhcpcd's file: the raw DHCP reply. address is the header's yiaddr (none
// when 0.0.0.0), obtained the file's mtime (dhcpcd writes it when it binds,
// after its address probe), expires mtime plus option 51, never for
// 4294967295.
LeaseFacts ParseDhcpcdLease(const uint8_t* data, size_t size, int64_t mtime);

// Strict dotted-quad check; on success *canonical holds the re-printed form.
bool CanonicalIpv4(std::string_view text, std::string* canonical);

// Decimal digits only, no sign, no more than max.
bool ParseDecimal(std::string_view text, uint64_t max, uint64_t* value);
