// systemd-networkd's and NetworkManager's internal client's KEY=VALUE files.
#include <functional>

#include "leases.h"

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

struct TimeUnit {
    std::string_view name;
    uint64_t seconds;
    uint64_t divisor;  // sub-second units
};

// The units systemd writes and the usual spellings it also reads.
constexpr TimeUnit kTimeUnits[] = {
    {"s", 1, 1},          {"sec", 1, 1},         {"second", 1, 1},
    {"seconds", 1, 1},    {"m", 60, 1},          {"min", 60, 1},
    {"minute", 60, 1},    {"minutes", 60, 1},    {"h", 3600, 1},
    {"hr", 3600, 1},      {"hour", 3600, 1},     {"hours", 3600, 1},
    {"d", 86400, 1},      {"day", 86400, 1},     {"days", 86400, 1},
    {"w", 604800, 1},     {"week", 604800, 1},   {"weeks", 604800, 1},
    {"M", 2629800, 1},    {"month", 2629800, 1}, {"months", 2629800, 1},
    {"y", 31557600, 1},   {"year", 31557600, 1}, {"years", 31557600, 1},
    {"ms", 1, 1000},      {"msec", 1, 1000},     {"us", 1, 1000000},
    {"usec", 1, 1000000},
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool ParseLeaseTimespan(std::string_view text, uint32_t* seconds)
{
    uint64_t value = 0;
    if (ParseDecimal(text, UINT32_MAX, &value)) {
        if (value == UINT32_MAX) {  // DHCP's "infinite"
            return false;
        }
        *seconds = static_cast<uint32_t>(value);
        return true;
    }
    uint64_t total = 0;
    bool any = false;
    text = TrimSpace(text);
    while (!text.empty()) {
        size_t digits = 0;
        while (digits < text.size() && IsDigit(text[digits])) {
            digits++;
        }
        uint64_t number = 0;
        if (!ParseDecimal(text.substr(0, digits), UINT32_MAX, &number)) {
            return false;
        }
        text = TrimSpace(text.substr(digits));
        size_t letters = 0;
        while (letters < text.size() && IsLetter(text[letters])) {
            letters++;
        }
        std::string_view unitName = text.substr(0, letters);
        text = TrimSpace(text.substr(letters));
        const TimeUnit* unit = nullptr;
        for (const TimeUnit& candidate : kTimeUnits) {
            if (candidate.name == unitName) {
                unit = &candidate;
            }
        }
        if (unit == nullptr) {
            return false;
        }
        // Both factors stay below 2^32, so the product fits.
        total += number * unit->seconds / unit->divisor;
        if (total >= UINT32_MAX) {
            return false;
        }
        any = true;
    }
    if (!any) {
        return false;
    }
    *seconds = static_cast<uint32_t>(total);
    return true;
}

LeaseFacts ParseNetworkdLease(std::string_view text)
{
    LeaseFacts facts;
    ForEachAssignment(text, [&](std::string_view key, std::string_view value) {
        if (key == "ADDRESS") {
            CanonicalIpv4(value, &facts.address);
        } else if (key == "SERVER_ADDRESS") {
            CanonicalIpv4(value, &facts.server);
        } else if (key == "LIFETIME") {
            uint32_t lifetime = 0;
            facts.lifetime = ParseLeaseTimespan(value, &lifetime) ? lifetime : 0;
        }
    });
    facts.found = !facts.address.empty();
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
            CanonicalIpv4(value, &facts.address);
        }
    });
    facts.found = !facts.address.empty();
    return facts;
}
