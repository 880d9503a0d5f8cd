// The stores that name their facts KEY=VALUE: systemd-networkd's lease
// files, NetworkManager's internal client's file and runtime state,
// ConnMan's service settings, and dhcpcd's lease dump.
#include <cerrno>
#include <functional>
#include <optional>

#include "lease_parsers.h"
#include "posix.h"
#include "text_fields.h"

namespace {

std::string_view TrimSpace(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

void ForEachAssignment(std::string_view text,
                       const std::function<void(std::string_view, std::string_view)>& visit,
                       char separator = '\n')
{
    while (!text.empty()) {
        size_t end = text.find(separator);
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        visit(TrimSpace(line.substr(0, equals)), TrimSpace(line.substr(equals + 1)));
    }
}

// The DHCP options NetworkManager and dhcpcd both name as dhcpcd's hooks
// see them, behind a prefix: ip_address, dhcp_server_identifier, netbios_name_servers (a
// space-separated list), dhcp_lease_time, and NetworkManager's expiry.
struct NamedOptions {
    LeaseFacts facts;
    std::optional<uint32_t> leaseTime;
    std::optional<int64_t> expiry;
    bool dhcp = false;  // dhcpcd: the entry is its DHCP state, not IPv4LL or a static one
};

// A list that is not entirely valid is dropped, so that a later entry never
// moves up into the primary's place.
std::vector<Ipv4Bytes> ParseSpacedAddresses(std::string_view text)
{
    std::vector<Ipv4Bytes> list;
    while (!text.empty()) {
        size_t end = text.find(' ');
        Ipv4Bytes address;
        if (ParseIpv4(text.substr(0, end), &address) != 0) {
            return {};
        }
        list.push_back(address);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return list;
}

NamedOptions ReadNamedOptions(std::string_view text, char separator, std::string_view prefix)
{
    NamedOptions options;
    LeaseFacts& facts = options.facts;
    ForEachAssignment(
        text,
        [&](std::string_view key, std::string_view value) {
            if (key == "protocol") {
                options.dhcp = value == "dhcp";
            }
            if (key.substr(0, prefix.size()) != prefix) {
                return;
            }
            key.remove_prefix(prefix.size());
            uint64_t number = 0;
            if (key == "ip_address") {
                facts.haveAddress = ParseIpv4(value, &facts.address) == 0;
            } else if (key == "dhcp_server_identifier") {
                facts.haveServer = ParseIpv4(value, &facts.server) == 0;
            } else if (key == "netbios_name_servers") {
                facts.wins = ParseSpacedAddresses(value);
            } else if (key == "dhcp_lease_time") {
                options.leaseTime.reset();
                if (ParseDecimal(value, UINT32_MAX, &number) == 0) {
                    options.leaseTime = static_cast<uint32_t>(number);
                }
            } else if (key == "expiry") {
                options.expiry.reset();
                if (ParseDecimal(value, INT64_MAX, &number) == 0) {
                    options.expiry = static_cast<int64_t>(number);
                }
            }
        },
        separator);
    return options;
}

// A store's entry holds a lease only when it names the lease's address.
int TakeLease(LeaseFacts& facts, LeaseFacts* found)
{
    if (!facts.haveAddress) {
        return ENOENT;
    }
    *found = std::move(facts);
    return 0;
}

}  // namespace

int ParseNetworkdLease(std::string_view text, LeaseFacts* found)
{
    LeaseFacts facts;
    ForEachAssignment(text, [&](std::string_view key, std::string_view value) {
        if (key == "ADDRESS") {
            facts.haveAddress = ParseIpv4(value, &facts.address) == 0;
        } else if (key == "SERVER_ADDRESS") {
            facts.haveServer = ParseIpv4(value, &facts.server) == 0;
        } else if (key == "LIFETIME") {
            // Older versions write whole seconds, newer ones a timespan;
            // DHCP's infinite lease is 4294967295 in the one, "infinity" in
            // the other.
            facts.end = value == "4294967295" || value == "infinity" ? LeaseEnd::kNever
                                                                     : LeaseEnd::kUnknown;
        }
    });
    return TakeLease(facts, found);
}

int ParseConnmanSettings(std::string_view text, LeaseFacts* found)
{
    LeaseFacts facts;
    bool dhcp = false;
    ForEachAssignment(text, [&](std::string_view key, std::string_view value) {
        if (key == "IPv4.method") {
            dhcp = value == "dhcp";
        } else if (key == "IPv4.DHCP.LastAddress") {
            facts.haveAddress = ParseIpv4(value, &facts.address) == 0;
        }
    });
    if (!dhcp) {
        return ENOENT;
    }
    facts.end = LeaseEnd::kWithAddress;
    return TakeLease(facts, found);
}

int ParseNetworkManagerInternalLease(std::string_view text, LeaseFacts* found)
{
    LeaseFacts facts;
    ForEachAssignment(text, [&](std::string_view key, std::string_view value) {
        if (key == "ADDRESS") {
            facts.haveAddress = ParseIpv4(value, &facts.address) == 0;
        }
    });
    return TakeLease(facts, found);
}

int ParseNetworkManagerState(std::string_view text, LeaseFacts* found)
{
    // Keys of other sections carry other prefixes ("dhcp6.", none).
    NamedOptions options = ReadNamedOptions(text, '\n', "dhcp4.");
    LeaseFacts& facts = options.facts;
    if (options.leaseTime == UINT32_MAX) {
        facts.end = LeaseEnd::kNever;
    } else if (options.expiry) {
        // A lease time longer than the expiry allows would start before 1970.
        if (options.leaseTime > options.expiry) {
            return ENOENT;
        }
        facts.end = LeaseEnd::kAt;
        facts.expires = *options.expiry;
        if (options.leaseTime) {
            facts.obtainedKnown = true;
            facts.obtained = *options.expiry - *options.leaseTime;
        }
    }
    return TakeLease(facts, found);
}

int ParseDhcpcdDump(std::string_view entries, int64_t mtime, LeaseFacts* found)
{
    NamedOptions options = ReadNamedOptions(entries, '\0', "new_");
    LeaseFacts& facts = options.facts;
    if (!options.dhcp) {
        return ENOENT;
    }
    TimeDhcpcdLease(mtime, options.leaseTime, facts);
    return TakeLease(facts, found);
}
