// The Windows layer's conversion of the system's adapter list into facts,
// built for this host (windows_host/os_api.h), on chains made from the
// input: the clock, then up to four adapters, each with up to four
// unicast, gateway and WINS nodes. Each socket address is a length byte
// (255: none) and that many bytes, in memory of exactly that length; each
// text a length byte (255: none) and its characters, terminated here.
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz_input.h"
#include "gather_facts.h"

namespace {

// What a chain points into, for as long as one input is converted.
struct Chain {
    InputBytes input;
    std::vector<std::unique_ptr<uint8_t[]>> memory;

    template <typename T>
    T* New(size_t count = 1)
    {
        memory.emplace_back(new uint8_t[count * sizeof(T)]());
        return reinterpret_cast<T*>(memory.back().get());
    }

    SOCKET_ADDRESS Address()
    {
        SOCKET_ADDRESS address = {nullptr, 0};
        uint8_t length = input.Take<uint8_t>();
        if (length != 255) {
            std::string_view bytes = input.Bytes(length);
            address.lpSockaddr = reinterpret_cast<sockaddr*>(New<uint8_t>(bytes.size()));
            memcpy(address.lpSockaddr, bytes.data(), bytes.size());
            address.iSockaddrLength = static_cast<INT>(bytes.size());
        }
        return address;
    }

    template <typename Text>
    Text* Terminated()
    {
        uint8_t length = input.Take<uint8_t>();
        if (length == 255) {
            return nullptr;
        }
        std::string_view bytes = input.Bytes(length * sizeof(Text));
        Text* text = New<Text>(bytes.size() / sizeof(Text) + 1);
        memcpy(text, bytes.data(), bytes.size() / sizeof(Text) * sizeof(Text));
        return text;
    }

    template <typename Node>
    Node* List(size_t* count)
    {
        Node* first = nullptr;
        Node** link = &first;
        *count = input.Take<uint8_t>() % 5;
        for (size_t i = 0; i < *count; i++) {
            *link = New<Node>();
            (*link)->Address = Address();
            link = &(*link)->Next;
        }
        return first;
    }
};

bool IsIpv4(const SOCKET_ADDRESS& address)
{
    return address.lpSockaddr != nullptr && address.iSockaddrLength >= 16 &&
           address.lpSockaddr->sa_family == AF_INET;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Chain chain = {{data, size}, {}};
    LeaseClock clock;
    clock.now = chain.input.Take<uint32_t>();
    int64_t obtained = chain.input.Take<uint32_t>();
    clock.leaseObtained = [&](const char*) { return obtained; };

    IP_ADAPTER_ADDRESSES_LH* first = nullptr;
    IP_ADAPTER_ADDRESSES_LH** link = &first;
    std::vector<IP_ADAPTER_ADDRESSES_LH*> shown;
    std::vector<size_t> unicastCounts;
    for (size_t count = chain.input.Take<uint8_t>() % 5; count > 0; count--) {
        IP_ADAPTER_ADDRESSES_LH* adapter = *link = chain.New<IP_ADAPTER_ADDRESSES_LH>();
        link = &adapter->Next;
        adapter->IfIndex = chain.input.Take<uint32_t>();
        adapter->IfType = chain.input.Take<uint8_t>();
        adapter->Flags = chain.input.Take<uint8_t>();
        adapter->PhysicalAddressLength = chain.input.Take<uint8_t>();
        std::string_view hardware = chain.input.Bytes(MAX_ADAPTER_ADDRESS_LENGTH);
        memcpy(adapter->PhysicalAddress, hardware.data(), hardware.size());
        adapter->AdapterName = chain.Terminated<char>();
        adapter->Description = chain.Terminated<WCHAR>();
        size_t unicasts = 0;
        size_t servers = 0;
        adapter->FirstUnicastAddress = chain.List<IP_ADAPTER_UNICAST_ADDRESS_LH>(&unicasts);
        for (auto* node = adapter->FirstUnicastAddress; node != nullptr; node = node->Next) {
            node->OnLinkPrefixLength = chain.input.Take<uint8_t>();
            node->LeaseLifetime = chain.input.Take<uint32_t>();
        }
        adapter->FirstGatewayAddress = chain.List<IP_ADAPTER_GATEWAY_ADDRESS_LH>(&servers);
        adapter->FirstWinsServerAddress = chain.List<IP_ADAPTER_WINS_SERVER_ADDRESS_LH>(&servers);
        adapter->Dhcpv4Server = chain.Address();
        if (adapter->IfType != IF_TYPE_SOFTWARE_LOOPBACK) {
            shown.push_back(adapter);
            unicastCounts.push_back(unicasts);
        }
    }
    std::vector<AdapterFacts> adapters = GatherAdapterFacts(first, clock);

    // One record for each adapter but the loopback, in list order, its
    // texts bounded, and only an adapter with DHCP on has a lease.
    if (adapters.size() != shown.size()) {
        abort();
    }
    for (size_t i = 0; i < adapters.size(); i++) {
        const AdapterFacts& facts = adapters[i];
        const IP_ADAPTER_ADDRESSES_LH& source = *shown[i];
        bool dhcp = (source.Flags & IP_ADAPTER_DHCP_ENABLED) != 0;
        if (facts.index != source.IfIndex || facts.name.size() > MAX_ADAPTER_NAME_LENGTH + 3 ||
            facts.description.size() > MAX_ADAPTER_DESCRIPTION_LENGTH + 3 ||
            facts.addresses.size() > unicastCounts[i] || facts.dhcpEnabled != dhcp ||
            (!dhcp && (facts.leaseObtained != 0 || facts.leaseExpires != 0)) ||
            facts.haveDhcpServer != IsIpv4(source.Dhcpv4Server)) {
            abort();
        }
    }
    return 0;
}
