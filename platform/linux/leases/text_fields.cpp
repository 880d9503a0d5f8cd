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

bool HasPrefix(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool HasSuffix(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}
