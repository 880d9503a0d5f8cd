// Which interface each lease store's file belongs to, by the index or the
// interface name its own name carries.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "leases.h"

// The longest interface name the kernel gives (IFNAMSIZ without the
// terminator).
constexpr size_t kMaxInterfaceName = 15;

// The stores, in the order that breaks a tie between equally recent leases.
enum class Store {
    kNetworkd,
    kDhclient,
    kDhcpcd,
    kNetworkManagerState,
    kNetworkManagerInternal,
    kConnman
};

// A store's file that belongs to one interface.
struct OwnedFile {
    Store store;
    DIR* folder;
    std::string_view name;
    std::string_view interface;
    uint32_t index = 0;
};

// The files of every store but dhclient's own, each given to its
// interface, those of each interface in the order the stores are listed
// here, sorted by interface index. Files named by an index belong to the
// interface of that index: systemd-networkd's and NetworkManager's runtime
// state. The others go to the interface with the longest name some run of
// the file's name carries, a run that starts at the name's start or after
// a separator; of two equally long names the one earlier in the list wins:
// dhclient-<uuid>-<ifname>.lease and internal-<uuid>-<ifname>.lease of
// NetworkManager (the run ending at the name's end); eth0.lease,
// dhcpcd-eth0.lease, eth0-<ssid>.lease of dhcpcd. A ConnMan service folder,
// <technology>_<hardware address in hex>_<network...>, goes to every
// interface of that hardware address (a VLAN shares its parent's).
std::vector<OwnedFile> AssignStoreFiles(const LeaseStoreFiles& stores,
                                        const std::vector<LeaseInterface>& interfaces);
