// What the machine's DHCP clients keep about their leases.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct LeaseFacts {
    bool found = false;             // a DHCP client keeps a lease for the interface
    std::string server;             // DHCP server, dotted decimal; empty when unknown
    std::vector<std::string> wins;  // WINS servers, dotted decimal, primary first
    bool timesKnown = false;        // obtained/expires come from the lease store
    int64_t obtained = 0;           // seconds since 1970-01-01 UTC
    int64_t expires = 0;
    int64_t lifetime = 0;  // seconds the lease was granted for; 0 when unknown or infinite
};

struct LeaseInterface {
    std::string name;
    uint32_t index;
};

// Reads every lease store below root ("/" on a real run), listing each
// store's directory once, and returns the facts found, keyed by interface
// index. Interfaces without a lease are absent from the result.
//
// When several stores hold a lease for one interface, the first of these
// wins whole: systemd-networkd, dhclient (its own files and NetworkManager's
// dhclient backend), dhcpcd, NetworkManager's internal client. Among several
// files of one client for the same interface the most recently modified wins.
// Files above kLeaseFileLimit bytes are ignored.
std::unordered_map<uint32_t, LeaseFacts> ReadLeases(const std::string& root,
                                                    const std::vector<LeaseInterface>& interfaces);

constexpr size_t kLeaseFileLimit = 1024 * 1024;

// The readers below work on a file's bytes only; none of them trusts the
// contents. Stored addresses are always re-printed dotted quads.

// systemd-networkd's <ifindex> file (KEY=VALUE lines). found needs a valid
// ADDRESS; LIFETIME (seconds or a timespan) goes to lifetime, times stay
// unknown.
LeaseFacts ParseNetworkdLease(std::string_view text);

// NetworkManager's internal client file: found when it holds a valid ADDRESS.
LeaseFacts ParseInternalLease(std::string_view text);

// A systemd timespan ("3600", "8min 45s", "1d 2h") in whole seconds. False
// for anything malformed, "infinity", or longer than a DHCP lease can be.
bool ParseLeaseTimespan(std::string_view text, uint32_t* seconds);

// dhclient's append-only lease file: the last complete "lease { }" block of
// each interface, keyed by interface name. fileInterface, when not empty,
// names every block (NetworkManager's per-interface files); otherwise blocks
// without an "interface" statement are dropped. expires comes from "expire",
// obtained from expire minus the lease time, or else renew minus the renewal
// time; if neither is there, or the lease never expires, times stay unknown.
std::unordered_map<std::string, LeaseFacts> ParseDhclientLeases(std::string_view text,
                                                                std::string_view fileInterface);

// dhcpcd's file: the raw DHCP reply. obtained is the file's mtime, expires
// mtime plus option 51.
LeaseFacts ParseDhcpcdLease(const uint8_t* data, size_t size, int64_t mtime);

// Strict dotted-quad check; on success *canonical holds the re-printed form.
bool CanonicalIpv4(std::string_view text, std::string* canonical);

// Decimal digits only, no sign, no more than max.
bool ParseDecimal(std::string_view text, uint64_t max, uint64_t* value);
