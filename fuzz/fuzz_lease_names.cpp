// Which interface each lease store's file belongs to. Each NUL-ended part
// of the input is one item, its first byte saying what it is: 'i' an
// interface, 'n' a systemd-networkd file and 's' a NetworkManager state
// file (each of them then an index byte and the name), 'm' a
// NetworkManager lease file and 'c' a dhcpcd one (the file's name). Names
// the store listing would skip are left out, as it would.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "interface_names.h"
#include "text_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LeaseStoreFiles stores;
    std::vector<LeaseInterface> interfaces;
    for (std::string_view field : SplitFields(data, size)) {
        if (field.empty()) {
            continue;
        }
        char kind = field[0];
        std::string_view rest = field.substr(1);
        uint32_t index = rest.empty() ? 0 : static_cast<uint8_t>(rest[0]);
        std::string_view name = rest.empty() ? rest : rest.substr(1);
        if (kind == 'i' && !name.empty() && name.size() <= kMaxInterfaceName) {
            interfaces.push_back({std::string(name), index});
        } else if (kind == 'n') {
            stores.networkd.emplace_back(index, name);
        } else if (kind == 's') {
            stores.networkManagerState.emplace_back(index, name);
        } else if (kind == 'm' && (HasPrefix(rest, "dhclient-") || HasPrefix(rest, "internal-")) &&
                   HasSuffix(rest, ".lease")) {
            stores.networkManager.emplace_back(rest);
        } else if (kind == 'c' && HasSuffix(rest, ".lease")) {
            stores.dhcpcd.emplace_back(rest);
        }
    }
    std::vector<OwnedFile> owned = AssignStoreFiles(stores, interfaces);

    // Each file goes to at most one interface, one of the list that its
    // index or its name names, and they come sorted by index.
    size_t files = stores.networkd.size() + stores.networkManagerState.size() +
                   stores.networkManager.size() + stores.dhcpcd.size();
    if (owned.size() > files) {
        abort();
    }
    for (size_t i = 0; i < owned.size(); i++) {
        const OwnedFile& file = owned[i];
        bool listed = std::any_of(interfaces.begin(), interfaces.end(), [&](const auto& known) {
            return known.name == file.interface && known.index == file.index;
        });
        bool named = file.store == Store::kNetworkd || file.store == Store::kNetworkManagerState ||
                     file.name.find(file.interface) != std::string_view::npos;
        if (!listed || !named || (i > 0 && owned[i - 1].index > file.index)) {
            abort();
        }
    }
    return 0;
}
