#include "interface_names.h"

#include <algorithm>

#include "text_fields.h"

InterfaceNames::InterfaceNames(const std::vector<LeaseInterface>& interfaces)
{
    sorted_.reserve(interfaces.size());
    for (size_t place = 0; place < interfaces.size(); place++) {
        sorted_.push_back({interfaces[place].name, place});
    }
    std::sort(sorted_.begin(), sorted_.end());
}

size_t InterfaceNames::Find(std::string_view name) const
{
    auto found = std::lower_bound(sorted_.begin(), sorted_.end(), Entry{name, 0});
    return found != sorted_.end() && found->first == name ? found->second : std::string_view::npos;
}

bool InterfaceNames::Has(std::string_view name) const
{
    return Find(name) != std::string_view::npos;
}

size_t InterfaceNames::LongestIn(std::string_view text, std::string_view separators,
                                 bool anchoredAtEnd) const
{
    auto isSeparator = [&](size_t at) {
        return separators.find(text[at]) != std::string_view::npos;
    };
    size_t best = std::string_view::npos;
    size_t bestLength = 0;
    for (size_t start = 0; start < text.size(); start++) {
        if (start > 0 && !isSeparator(start - 1)) {
            continue;
        }
        size_t last = std::min(text.size(), start + kMaxInterfaceName);
        for (size_t end = start + 1; end <= last; end++) {
            if (end < text.size() && (anchoredAtEnd || !isSeparator(end))) {
                continue;
            }
            size_t place = Find(text.substr(start, end - start));
            if (place != std::string_view::npos &&
                (end - start > bestLength || (end - start == bestLength && place < best))) {
                best = place;
                bestLength = end - start;
            }
        }
    }
    return best;
}

std::vector<NamedFile> AssignNamedFiles(const LeaseStoreFiles& stores,
                                        const std::vector<LeaseInterface>& interfaces,
                                        const InterfaceNames& names)
{
    std::vector<NamedFile> named;
    auto assign = [&](NamedFile file, std::string_view text, std::string_view separators,
                      bool anchoredAtEnd) {
        size_t place = names.LongestIn(text, separators, anchoredAtEnd);
        if (place != std::string_view::npos) {
            file.interface = interfaces[place].name;
            file.index = interfaces[place].index;
            named.push_back(file);
        }
    };
    for (const std::string& name : stores.networkManager) {
        std::string_view middle = std::string_view(name).substr(0, name.size() - 6);
        middle.remove_prefix(middle.find('-') + 1);
        NamedKind kind = HasPrefix(name, "dhclient-") ? NamedKind::kNetworkManagerDhclient
                                                      : NamedKind::kNetworkManagerInternal;
        assign(NamedFile{kind, name, {}, 0}, middle, "-", true);
    }
    for (const std::string& name : stores.dhcpcd) {
        std::string_view stem = std::string_view(name).substr(0, name.size() - 6);
        assign(NamedFile{NamedKind::kDhcpcd, name, {}, 0}, stem, "-.", false);
    }
    return named;
}
