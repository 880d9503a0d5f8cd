// systemd-networkd's and NetworkManager's internal client's KEY=VALUE files.
#include <functional>

#include "lease_parsers.h"
#include "lease_text.h"

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
                       const std::function<void(std::string_view, std::string_view)>& visit)
{
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        visit(TrimSpace(line.substr(0, equals)), TrimSpace(line.substr(equals + 1)));
    }
}

}  // namespace

LeaseFacts ParseNetworkdLease(std::string_view text)
{
    LeaseFacts facts;
    ForEachAssignment(text, [&](std::string_view key, std::string_view value) {
        if (key == "ADDRESS") {
            facts.haveAddress = ParseIpv4(value, &facts.address);
        } else if (key == "SERVER_ADDRESS") {
            facts.haveServer = ParseIpv4(value, &facts.server);
        } else if (key == "LIFETIME") {
            // Older versions write whole seconds, newer ones a timespan;
            // DHCP's infinite lease is 4294967295 in the one, "infinity" in
            // the other.
            facts.end = value == "4294967295" || value == "infinity" ? LeaseEnd::kNever
                                                                     : LeaseEnd::kUnknown;
        }
    });
    facts.found = facts.haveAddress;
    if (!facts.found) {
        return LeaseFacts{};
    }
    return facts;
}

LeaseFacts ParseInternalLease(std::string_view text)
{
    LeaseFacts facts;
    ForEachAssignment(text, [&](std::string_view key, std::string_view value) {
        if (key == "ADDRESS") {
            facts.haveAddress = ParseIpv4(value, &facts.address);
        }
    });
    facts.found = facts.haveAddress;
    return facts;
}
