// Which interface each lease store's file belongs to. Each NUL-ended part
// of the input is one item, its first byte saying what it is: 'i' an
// interface, 'n' a systemd-networkd file and 's' a NetworkManager state
// file (each of them then an index byte and the name), 'm' a
// NetworkManager lease file, 'c' a dhcpcd one and 'v' a ConnMan service
// folder (the file's name). An interface's name may be followed by '/' and
// its hardware address in lowercase hex. Names the store listing would skip
// are left out, as it would, and so are interfaces the kernel would not
// give.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unordered_set>

#include "fuzz_input.h"
#include "interface_names.h"
#include "text_fields.h"

namespace {

constexpr size_t kNone = SIZE_MAX;

struct Expected {
    const char* name;  // the store listing's own
    size_t place;      // in the interface list
};

size_t WithIndex(const std::vector<LeaseInterface>& interfaces, uint32_t index)
{
    for (size_t place = 0; place < interfaces.size(); place++) {
        if (interfaces[place].index == index) {
            return place;
        }
    }
    return kNone;
}

// Every place each name is found, kept when it is a run of the file's name.
size_t LongestName(const std::vector<LeaseInterface>& interfaces, std::string_view text,
                   std::string_view separators, bool anchoredAtEnd)
{
    auto separates = [&](size_t at) { return separators.find(text[at]) != std::string_view::npos; };
    size_t best = kNone;
    for (size_t place = 0; place < interfaces.size(); place++) {
        const std::string& name = interfaces[place].name;
        for (size_t at = text.find(name); at != std::string_view::npos;
             at = text.find(name, at + 1)) {
            size_t end = at + name.size();
            bool run = (at == 0 || separates(at - 1)) &&
                       (end == text.size() || (!anchoredAtEnd && separates(end)));
            if (run && (best == kNone || name.size() > interfaces[best].name.size())) {
                best = place;
            }
        }
    }
    return best;
}

// The hardware address a ConnMan service folder's name carries after its
// technology, followed by the network's part or nothing.
bool NamesHardware(std::string_view folder, std::string_view hardware)
{
    std::string_view rest = folder.substr(folder.find('_') + 1);
    return !hardware.empty() && HasPrefix(rest, hardware) &&
           (rest.size() == hardware.size() || rest[hardware.size()] == '_');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LeaseStoreFiles stores;
    std::vector<LeaseInterface> interfaces;
    std::unordered_set<uint32_t> indexes;
    for (std::string_view field : SplitFields(data, size)) {
        if (field.empty()) {
            continue;
        }
        char kind = field[0];
        std::string_view rest = field.substr(1);
        uint32_t index = rest.empty() ? 0 : static_cast<uint8_t>(rest[0]);
        std::string_view name = rest.empty() ? rest : rest.substr(1);
        if (kind == 'i') {
            size_t slash = std::min(name.find('/'), name.size());
            std::string_view hardware = name.substr(std::min(slash + 1, name.size()));
            name = name.substr(0, slash);
            // A machine's indexes are unique; among interfaces sharing one,
            // the order of ConnMan's files would be the hash map's.
            bool fresh = indexes.insert(index).second;
            if (!name.empty() && name.size() <= kMaxInterfaceName &&
                hardware.find_first_not_of("0123456789abcdef") == std::string_view::npos &&
                (hardware.empty() || fresh)) {
                interfaces.push_back({std::string(name), index, std::string(hardware)});
            }
        } else if (kind == 'n') {
            stores.networkd.emplace_back(index, name);
        } else if (kind == 's') {
            stores.networkManagerState.emplace_back(index, name);
        } else if (kind == 'm' && (HasPrefix(rest, "dhclient-") || HasPrefix(rest, "internal-")) &&
                   HasSuffix(rest, ".lease")) {
            stores.networkManager.emplace_back(rest);
        } else if (kind == 'c' && HasSuffix(rest, ".lease")) {
            stores.dhcpcd.emplace_back(rest);
        } else if (kind == 'v' && rest.find('_') != std::string_view::npos) {
            stores.connman.emplace_back(rest);
        }
    }
    std::vector<OwnedFile> owned = AssignStoreFiles(stores, interfaces);

    // Against the rule worked out file by file: each file owned by the
    // interface it should go to, those of one index in the order of the
    // stores and their listings.
    std::vector<Expected> expected;
    for (const auto& [index, name] : stores.networkd) {
        expected.push_back({name.data(), WithIndex(interfaces, index)});
    }
    for (const auto& [index, name] : stores.networkManagerState) {
        expected.push_back({name.data(), WithIndex(interfaces, index)});
    }
    for (const std::string& name : stores.networkManager) {
        std::string_view middle = std::string_view(name).substr(0, name.size() - 6);
        middle.remove_prefix(middle.find('-') + 1);
        expected.push_back({name.data(), LongestName(interfaces, middle, "-", true)});
    }
    for (const std::string& name : stores.dhcpcd) {
        std::string_view stem = std::string_view(name).substr(0, name.size() - 6);
        expected.push_back({name.data(), LongestName(interfaces, stem, "-.", false)});
    }
    for (const std::string& name : stores.connman) {
        for (size_t place = 0; place < interfaces.size(); place++) {
            if (NamesHardware(name, interfaces[place].hardware)) {
                expected.push_back({name.data(), place});
            }
        }
    }
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [&](const Expected& file) { return file.place == kNone; }),
                   expected.end());
    std::stable_sort(expected.begin(), expected.end(), [&](const Expected& a, const Expected& b) {
        return interfaces[a.place].index < interfaces[b.place].index;
    });
    if (owned.size() != expected.size()) {
        abort();
    }
    for (size_t i = 0; i < owned.size(); i++) {
        const LeaseInterface& owner = interfaces[expected[i].place];
        if (owned[i].name.data() != expected[i].name || owned[i].interface != owner.name ||
            owned[i].index != owner.index) {
            abort();
        }
    }
    return 0;
}
