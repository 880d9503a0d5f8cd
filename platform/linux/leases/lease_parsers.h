// The lease stores' file formats: one reader per DHCP client, each working
// on a file's bytes only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "adapter_facts.h"

// How a lease store says a lease ends.
enum class LeaseEnd {
    kUnknown,  // the store does not say; only the kernel's address lifetime can
    kAt,       // at LeaseFacts::expires
    kNever,    // an infinite lease
    // The client gives the kernel no lifetime and keeps no end: the lease
    // lasts while its address does.
    kWithAddress,
};

// A lease a DHCP client keeps for an interface.
struct LeaseFacts {
    bool haveAddress = false;
    Ipv4Bytes address;  // the leased address
    bool haveServer = false;
    Ipv4Bytes server;             // the DHCP server
    std::vector<Ipv4Bytes> wins;  // WINS servers, primary first
    bool obtainedKnown = false;   // the store records when the lease was obtained
    int64_t obtained = 0;         // seconds since 1970-01-01 UTC
    LeaseEnd end = LeaseEnd::kUnknown;
    int64_t expires = 0;  // when end is kAt
    int64_t written = 0;  // when its store last wrote it (the file's time); 0 when unknown
    std::optional<int64_t> renews;  // when the client is due to renew it, where the store says
};

// The readers below work on a file's bytes only; none of them trusts the
// contents. Those of one lease return 0 with the lease in *facts, or else
// leave *facts as it was: the KEY=VALUE readers skip whatever they cannot
// parse, so to them a damaged file is one that holds no lease (ENOENT).

// systemd-networkd's <ifindex> file (KEY=VALUE lines). ENOENT without a
// valid ADDRESS, which goes to address. The file holds no start time: only
// a LIFETIME of 4294967295 or "infinity" is kept, as a lease that never
// ends; a finite lease is timed by the kernel's address lifetime.
int ParseNetworkdLease(std::string_view text, LeaseFacts* facts);

// ConnMan's settings of a service (GKeyFile): ENOENT unless IPv4.method is
// dhcp and IPv4.DHCP.LastAddress valid. ConnMan keeps no server and no
// lease times; it sets the address without a lifetime and removes it when
// the lease ends (end kWithAddress), and keeps the last address for asking
// it again, so only an address the interface holds is the lease's.
int ParseConnmanSettings(std::string_view text, LeaseFacts* facts);

// NetworkManager's internal client file: ENOENT without a valid ADDRESS.
int ParseNetworkManagerInternalLease(std::string_view text, LeaseFacts* facts);

// NetworkManager's runtime state of a device (/run/NetworkManager/devices/
// <ifindex>), whatever its DHCP backend: ENOENT without a valid
// dhcp4.ip_address. dhcp4.expiry is when the lease ends and, less
// dhcp4.dhcp_lease_time, when it was obtained (ENOENT when that would be
// before 1970); a lease time of 4294967295 never ends.
int ParseNetworkManagerState(std::string_view text, LeaseFacts* facts);

// dhcpcd's answer for one interface to a lease dump over its control
// socket: KEY=VALUE entries, each ended by a NUL, the options named as
// its hooks see them (new_ip_address). ENOENT unless it is the DHCP state
// (protocol=dhcp) with a valid new_ip_address; timed by TimeDhcpcdLease
// from mtime, the lease file's (-1 when unknown), and dhcp_lease_time.
int ParseDhcpcdDump(std::string_view entries, int64_t mtime, LeaseFacts* facts);

// dhclient's append-only lease file: the last complete "lease { }" block of
// each interface, keyed by interface name. fileInterface, when not empty,
// names every block (NetworkManager's per-interface files); otherwise blocks
// without an "interface" statement are dropped. address is the block's
// "fixed-address". expires comes from "expire"; "expire never" or a lease
// time of 4294967295 make a lease that never ends. obtained is expire minus
// the lease time, or else renew minus the renewal time; renews is renew.
std::unordered_map<std::string, LeaseFacts> ParseDhclientLeases(std::string_view text,
                                                                std::string_view fileInterface);

// Of the last part of a dhclient file, cut at an arbitrary byte, what starts
// with its first whole block: from the first line that opens a lease block
// ("lease {"), empty when there is none.
std::string_view SkipTornFirstBlock(std::string_view tail);

// dhcpcd's rule, for its file and its dump alike: obtained is mtime, when
// it wrote the lease on binding, after its address probe (unknown when
// negative); expires is mtime plus the lease time, never for 4294967295.
void TimeDhcpcdLease(int64_t mtime, std::optional<uint32_t> leaseTime, LeaseFacts& facts);

// dhcpcd's file: the raw DHCP reply; EBADMSG when the bytes are no DHCP
// message (too short, no magic cookie). address is the header's yiaddr
// (none when 0.0.0.0); timed by TimeDhcpcdLease from the file's mtime and
// option 51.
int ParseDhcpcdLease(std::string_view data, int64_t mtime, LeaseFacts* facts);
