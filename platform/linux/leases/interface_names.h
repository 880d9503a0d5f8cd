// Matching the interface names that lease file names carry to the
// interfaces there are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "leases.h"

// The longest interface name the kernel gives (IFNAMSIZ without the
// terminator).
constexpr size_t kMaxInterfaceName = 15;

// A file whose name carries the interface's name somewhere inside it.
enum class NamedKind { kNetworkManagerDhclient, kNetworkManagerInternal, kDhcpcd };

struct NamedFile {
    NamedKind kind;
    std::string_view name;
    std::string_view interface;  // the longest interface name found in it
    uint32_t index = 0;
};

// The interfaces sorted by name, then by their place in the list: a run
// of a file name is looked up in as many steps as the list's size has
// bits, and no run is longer than an interface name can be.
class InterfaceNames {
   public:
    explicit InterfaceNames(const std::vector<LeaseInterface>& interfaces);

    bool Has(std::string_view name) const;

    // The interface with the longest name that some run of text carries:
    // the run starts at the text's start or after a separator and ends at
    // the text's end or, unless anchoredAtEnd, before a separator. Of two
    // equally long names the one earlier in the list wins. Answers the
    // name's place in the list, or npos.
    size_t LongestIn(std::string_view text, std::string_view separators, bool anchoredAtEnd) const;

   private:
    // The place in the list of the first interface of that name, or npos.
    size_t Find(std::string_view name) const;

    using Entry = std::pair<std::string_view, size_t>;  // name, place in the list
    std::vector<Entry> sorted_;
};

// Gives each file that carries interface names in its own name to the
// interface with the longest such name:
// dhclient-<uuid>-<ifname>.lease and internal-<uuid>-<ifname>.lease of
// NetworkManager; eth0.lease, dhcpcd-eth0.lease, eth0-<ssid>.lease of dhcpcd.
std::vector<NamedFile> AssignNamedFiles(const LeaseStoreFiles& stores,
                                        const std::vector<LeaseInterface>& interfaces,
                                        const InterfaceNames& names);
