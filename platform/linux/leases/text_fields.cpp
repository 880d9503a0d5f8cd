#include "text_fields.h"

#include <arpa/inet.h>

#include <cerrno>

int ParseIpv4(std::string_view text, Ipv4Bytes* address)
{
    char buffer[INET_ADDRSTRLEN] = {};
    if (text.empty() || text.size() >= sizeof buffer || text.find('\0') != std::string_view::npos) {
        return EBADMSG;
    }
    text.copy(buffer, text.size());
    Ipv4Bytes parsed;
    if (inet_pton(AF_INET, buffer, parsed.bytes) != 1) {
        return EBADMSG;
    }
    *address = parsed;
    return 0;
}

int ParseDecimal(std::string_view text, uint64_t max, uint64_t* value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return EBADMSG;
    }
    uint64_t result = 0;
    for (char c : text) {
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (digit > max || result > (max - digit) / 10) {
            return ERANGE;
        }
        result = result * 10 + digit;
    }
    *value = result;
    return 0;
}

bool HasPrefix(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool HasSuffix(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}
