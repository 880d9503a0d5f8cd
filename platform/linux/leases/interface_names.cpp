#include "interface_names.h"

#include <algorithm>

#include "lease_files.h"
#include "text_fields.h"

InterfaceNames::InterfaceNames(const std::vector<LeaseInterface>& interfaces)
{
    sorted_.reserve(interfaces.size());
    for (size_t place = 0; place < interfaces.size(); place++) {
        sorted_.push_back({interfaces[place].name, place});
    }
    std::sort(sorted_.begin(), sorted_.end());
}

bool InterfaceNames::Has(std::string_view name) const
{
    auto found = std::lower_bound(sorted_.begin(), sorted_.end(), Entry{name, 0});
    return found != sorted_.end() && found->first == name;
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
        auto first = sorted_.begin();
        auto last = sorted_.end();
        for (size_t k = 0; k < kMaxInterfaceName && start + k < text.size(); k++) {
            // [first, last) share the run's first k characters: those of
            // exactly k characters sort first, the rest by character k.
            unsigned char c = static_cast<unsigned char>(text[start + k]);
            first = std::lower_bound(first, last, c, [k](const Entry& entry, unsigned char c) {
                return entry.first.size() <= k || static_cast<unsigned char>(entry.first[k]) < c;
            });
            last = std::upper_bound(first, last, c, [k](unsigned char c, const Entry& entry) {
                return entry.first.size() > k && c < static_cast<unsigned char>(entry.first[k]);
            });
            if (first == last) {
                break;
            }
            size_t end = start + k + 1;
            bool ends = end == text.size() || (!anchoredAtEnd && isSeparator(end));
            if (ends && first->first.size() == k + 1 &&
                (k + 1 > bestLength || (k + 1 == bestLength && first->second < best))) {
                best = first->second;
                bestLength = k + 1;
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
