// What the machine's DHCP clients keep about their leases.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

struct LeaseFacts {
    bool found = false;             // a DHCP client keeps a lease for the interface
    std::string address;            // the leased address, dotted decimal; empty when not given
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
// the most trusted first. Interfaces without a lease are absent.
//
// Stores rank: systemd-networkd, dhclient (its own files and NetworkManager's
// dhclient backend), dhcpcd, NetworkManager's internal client. Within one
// store the most recently modified file ranks first. Files above
// kLeaseFileLimit bytes are ignored. A lease may be stale or belong to
// another network namespace; whoever applies it must check its address.
using LeaseCandidates = std::vector<LeaseFacts>;
std::unordered_map<uint32_t, LeaseCandidates> ReadLeases(
    const LeaseStores& stores, const std::vector<LeaseInterface>& interfaces);

constexpr size_t kLeaseFileLimit = 1024 * 1024;

// The readers below work on a file's bytes only; none of them trusts the
// contents. Stored addresses are always re-printed dotted quads.

// systemd-networkd's <ifindex> file (KEY=VALUE lines). found needs a valid
// ADDRESS, which goes to address; LIFETIME (seconds or a timespan) goes to lifetime, times stay
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
// without an "interface" statement are dropped. address is the block's
// "fixed-address". expires comes from "expire",
// obtained from expire minus the lease time, or else renew minus the renewal
// time; if neither is there, or the lease never expires, times stay unknown.
std::unordered_map<std::string, LeaseFacts> ParseDhclientLeases(std::string_view text,
                                                                std::string_view fileInterface);

// dhcpcd's file: the raw DHCP reply. address is the header's yiaddr (none
// when 0.0.0.0), obtained the file's mtime, expires mtime plus option 51.
LeaseFacts ParseDhcpcdLease(const uint8_t* data, size_t size, int64_t mtime);

// Strict dotted-quad check; on success *canonical holds the re-printed form.
bool CanonicalIpv4(std::string_view text, std::string* canonical);

// Decimal digits only, no sign, no more than max.
bool ParseDecimal(std::string_view text, uint64_t max, uint64_t* value);
