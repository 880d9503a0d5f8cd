#include "interface_names.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "text_fields.h"

namespace {

// Each interface name with its first place in the list.
using NamePlaces = std::unordered_map<std::string_view, size_t>;

// The place of the interface with the longest name that some run of text
// carries (see AssignStoreFiles), or npos. No run is looked up that is
// longer than an interface name can be.
size_t LongestNameIn(const NamePlaces& places, std::string_view text, std::string_view separators,
                     bool anchoredAtEnd)
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
            auto found = places.find(text.substr(start, end - start));
            if (found != places.end() &&
                (end - start > bestLength || (end - start == bestLength && found->second < best))) {
                best = found->second;
                bestLength = end - start;
            }
        }
    }
    return best;
}

}  // namespace

std::vector<OwnedFile> AssignStoreFiles(const LeaseStoreFiles& stores,
                                        const std::vector<LeaseInterface>& interfaces)
{
    NamePlaces places;
    std::unordered_map<uint32_t, size_t> indexes;
    std::unordered_multimap<std::string_view, size_t> hardware;
    for (size_t place = 0; place < interfaces.size(); place++) {
        places.emplace(interfaces[place].name, place);
        indexes.emplace(interfaces[place].index, place);
        if (!interfaces[place].hardware.empty()) {
            hardware.emplace(interfaces[place].hardware, place);
        }
    }
    std::vector<OwnedFile> owned;
    auto give = [&](Store store, DIR* folder, std::string_view name, size_t place) {
        if (place < interfaces.size()) {
            owned.push_back({store, folder, name, interfaces[place].name, interfaces[place].index});
        }
    };
    auto placeOf = [&](uint32_t index) {
        auto found = indexes.find(index);
        return found != indexes.end() ? found->second : std::string_view::npos;
    };
    for (const auto& [index, name] : stores.networkd) {
        give(Store::kNetworkd, stores.networkdDir.get(), name, placeOf(index));
    }
    for (const auto& [index, name] : stores.networkManagerState) {
        give(Store::kNetworkManagerState, stores.networkManagerStateDir.get(), name,
             placeOf(index));
    }
    for (const std::string& name : stores.networkManager) {
        std::string_view middle = std::string_view(name).substr(0, name.size() - 6);
        middle.remove_prefix(middle.find('-') + 1);
        give(HasPrefix(name, "dhclient-") ? Store::kDhclient : Store::kNetworkManagerInternal,
             stores.networkManagerDir.get(), name, LongestNameIn(places, middle, "-", true));
    }
    for (const std::string& name : stores.dhcpcd) {
        std::string_view stem = std::string_view(name).substr(0, name.size() - 6);
        give(Store::kDhcpcd, stores.dhcpcdDir.get(), name,
             LongestNameIn(places, stem, "-.", false));
    }
    for (const std::string& name : stores.connman) {
        std::string_view device = std::string_view(name).substr(name.find('_') + 1);
        auto [first, last] = hardware.equal_range(device.substr(0, device.find('_')));
        for (auto found = first; found != last; ++found) {
            give(Store::kConnman, stores.connmanDir.get(), name, found->second);
        }
    }
    std::stable_sort(owned.begin(), owned.end(),
                     [](const OwnedFile& a, const OwnedFile& b) { return a.index < b.index; });
    return owned;
}
