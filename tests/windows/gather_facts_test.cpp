// Gathering adapter facts from the system's adapter list, and the real
// query under Wine.
#include "gather_facts.h"

#include <gtest/gtest.h>
#include <ws2tcpip.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "adapter_records.h"

namespace {

// Builds adapter lists the way GetAdaptersAddresses lays them out; every
// piece lives as long as the builder.
class ListBuilder {
   public:
    IP_ADAPTER_ADDRESSES_LH* Adapter(const char* name, ULONG index)
    {
        IP_ADAPTER_ADDRESSES_LH* adapter = &adapters_.emplace_back();
        adapter->IfIndex = index;
        adapter->AdapterName = (PCHAR)name;
        adapter->IfType = 6;
        if (adapters_.size() > 1) {
            adapters_[adapters_.size() - 2].Next = adapter;
        }
        return adapter;
    }

    SOCKET_ADDRESS Ipv4(const char* dotted)
    {
        sockaddr_in* address = &ipv4_.emplace_back();
        address->sin_family = AF_INET;
        inet_pton(AF_INET, dotted, &address->sin_addr);
        return {(LPSOCKADDR)address, (INT)sizeof(*address)};
    }

    SOCKET_ADDRESS Ipv6()
    {
        sockaddr_in6* address = &ipv6_.emplace_back();
        address->sin6_family = AF_INET6;
        return {(LPSOCKADDR)address, (INT)sizeof(*address)};
    }

    void AddUnicast(IP_ADAPTER_ADDRESSES_LH* adapter, SOCKET_ADDRESS address, UINT8 prefix,
                    ULONG leaseLifetime = 0xFFFFFFFFu)
    {
        IP_ADAPTER_UNICAST_ADDRESS_LH* node =
            Append(unicast_, &adapter->FirstUnicastAddress, address);
        node->OnLinkPrefixLength = prefix;
        node->LeaseLifetime = leaseLifetime;
    }

    void AddGateway(IP_ADAPTER_ADDRESSES_LH* adapter, SOCKET_ADDRESS address)
    {
        Append(gateways_, &adapter->FirstGatewayAddress, address);
    }

    void AddWins(IP_ADAPTER_ADDRESSES_LH* adapter, SOCKET_ADDRESS address)
    {
        Append(wins_, &adapter->FirstWinsServerAddress, address);
    }

    const IP_ADAPTER_ADDRESSES_LH* First() const
    {
        return adapters_.empty() ? NULL : &adapters_[0];
    }

   private:
    template <typename Node>
    static Node* Append(std::deque<Node>& store, Node** first, SOCKET_ADDRESS address)
    {
        Node* node = &store.emplace_back();
        node->Address = address;
        while (*first != NULL) {
            first = &(*first)->Next;
        }
        *first = node;
        return node;
    }

    std::deque<IP_ADAPTER_ADDRESSES_LH> adapters_;
    std::deque<IP_ADAPTER_UNICAST_ADDRESS_LH> unicast_;
    std::deque<IP_ADAPTER_GATEWAY_ADDRESS_LH> gateways_;
    std::deque<IP_ADAPTER_WINS_SERVER_ADDRESS_LH> wins_;
    std::deque<sockaddr_in> ipv4_;
    std::deque<sockaddr_in6> ipv6_;
};

const LeaseClock kClock{1700000000, [](const char*) { return (int64_t)1699990000; }};

std::vector<std::string> Texts(const std::vector<AdapterAddress>& addresses)
{
    std::vector<std::string> texts;
    for (const AdapterAddress& address : addresses) {
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, address.address.bytes, text, sizeof(text));
        texts.push_back(std::string(text) + "/" + std::to_string(address.prefixLength));
    }
    return texts;
}

std::vector<std::string> Texts(const std::vector<Ipv4Bytes>& addresses)
{
    std::vector<AdapterAddress> hosts;
    for (const Ipv4Bytes& address : addresses) {
        hosts.push_back({address, 32});
    }
    return Texts(hosts);
}

TEST(AdapterList, TakesOnlyWholeIpv4AddressesInListOrder)
{
    ListBuilder list;
    IP_ADAPTER_ADDRESSES_LH* eth = list.Adapter("{eth}", 4);
    list.AddUnicast(eth, list.Ipv4("10.1.2.3"), 24);
    list.AddUnicast(eth, list.Ipv6(), 64);
    SOCKET_ADDRESS shortAddress = list.Ipv4("1.2.3.4");
    shortAddress.iSockaddrLength = 4;
    list.AddUnicast(eth, shortAddress, 8);
    list.AddUnicast(eth, {NULL, 0}, 8);
    list.AddUnicast(eth, list.Ipv4("10.9.0.1"), 16);
    list.AddGateway(eth, list.Ipv4("10.1.2.1"));
    list.AddGateway(eth, list.Ipv6());
    list.AddGateway(eth, list.Ipv4("10.9.0.254"));
    eth->Dhcpv4Server = list.Ipv6();
    IP_ADAPTER_ADDRESSES_LH* dhcp = list.Adapter("{dhcp}", 2);
    dhcp->Dhcpv4Server = list.Ipv4("172.16.0.1");
    list.AddWins(dhcp, list.Ipv4("172.16.0.2"));
    list.AddWins(dhcp, list.Ipv6());
    list.AddWins(dhcp, list.Ipv4("172.16.0.3"));

    std::vector<AdapterFacts> facts = GatherAdapterFacts(list.First(), kClock);
    ASSERT_EQ(2u, facts.size());
    EXPECT_EQ(Texts(facts[0].addresses), (std::vector<std::string>{"10.1.2.3/24", "10.9.0.1/16"}));
    EXPECT_EQ(Texts(facts[0].gateways), (std::vector<std::string>{"10.1.2.1/32", "10.9.0.254/32"}));
    EXPECT_FALSE(facts[0].haveDhcpServer);
    EXPECT_TRUE(facts[0].wins.empty());
    EXPECT_EQ(2u, facts[1].index);
    EXPECT_TRUE(facts[1].haveDhcpServer);
    EXPECT_EQ(Texts({facts[1].dhcpServer}), (std::vector<std::string>{"172.16.0.1/32"}));
    EXPECT_EQ(Texts(facts[1].wins), (std::vector<std::string>{"172.16.0.2/32", "172.16.0.3/32"}));
}

TEST(AdapterList, IdentityFields)
{
    ListBuilder list;
    std::string longName(400, 'n');
    IP_ADAPTER_ADDRESSES_LH* adapter = list.Adapter(longName.c_str(), 0x1234);
    std::wstring description = L"Caf\x00e9 adapter " + std::wstring(200, L'd');
    adapter->Description = (PWCHAR)description.c_str();
    adapter->PhysicalAddressLength = 20;  // InfiniBand-sized, more than the record holds
    memset(adapter->PhysicalAddress, 0xFF, sizeof(adapter->PhysicalAddress));
    adapter->PhysicalAddress[0] = 0x00;
    adapter->IfType = 71;
    adapter->Flags = IP_ADAPTER_DHCP_ENABLED;
    list.Adapter(NULL, 7);

    list.Adapter("{loopback}", 1)->IfType = IF_TYPE_SOFTWARE_LOOPBACK;

    std::vector<AdapterFacts> facts = GatherAdapterFacts(list.First(), kClock);
    ASSERT_EQ(2u, facts.size());  // never the loopback interface
    EXPECT_EQ(std::string(259, 'n'), facts[0].name);
    EXPECT_EQ(131u, facts[0].description.size());
    EXPECT_EQ("Caf\xe9 ", facts[0].description.substr(0, 5));  // code page 1252
    EXPECT_EQ(20u, facts[0].hardwareLength);
    EXPECT_EQ(0x00, facts[0].hardware[0]);
    EXPECT_EQ(0xFF, facts[0].hardware[7]);
    EXPECT_EQ(0x1234u, facts[0].index);
    EXPECT_EQ(71u, facts[0].type);
    EXPECT_TRUE(facts[0].dhcpEnabled);
    EXPECT_EQ("", facts[1].name);
    EXPECT_EQ("", facts[1].description);
}

TEST(AdapterList, LeasesOnlyForDhcpAdapters)
{
    ListBuilder list;
    IP_ADAPTER_ADDRESSES_LH* dhcp = list.Adapter("{dhcp}", 2);
    dhcp->Flags = IP_ADAPTER_DHCP_ENABLED;
    list.AddUnicast(dhcp, list.Ipv6(), 64, 60);
    list.AddUnicast(dhcp, list.Ipv4("172.16.5.9"), 20, 3600);
    IP_ADAPTER_ADDRESSES_LH* forever = list.Adapter("{forever}", 3);
    forever->Flags = IP_ADAPTER_DHCP_ENABLED;
    list.AddUnicast(forever, list.Ipv4("172.17.0.9"), 0);
    IP_ADAPTER_ADDRESSES_LH* fixed = list.Adapter("{static}", 5);
    list.AddUnicast(fixed, list.Ipv4("172.18.0.9"), 8, 600);

    std::vector<AdapterFacts> facts = GatherAdapterFacts(list.First(), kClock);
    ASSERT_EQ(3u, facts.size());
    EXPECT_EQ(1699990000, facts[0].leaseObtained);
    EXPECT_EQ(1700003600, facts[0].leaseExpires);
    EXPECT_EQ(1699990000, facts[1].leaseObtained);
    EXPECT_EQ(0, facts[1].leaseExpires);
    EXPECT_FALSE(facts[2].dhcpEnabled);
    EXPECT_EQ(0, facts[2].leaseObtained);
    EXPECT_EQ(0, facts[2].leaseExpires);
}

// The real query under Wine: the buffer contract, the adapter set the
// system's own records have (no loopback), and each address's Context.
TEST(OstrelQuery, BufferContractWithoutLoopback)
{
    EXPECT_EQ(Ostrel(NULL, NULL), (DWORD)ERROR_INVALID_PARAMETER);
    ULONG length = 640;
    EXPECT_EQ(Ostrel(NULL, &length), (DWORD)ERROR_INVALID_PARAMETER);

    length = 0;
    ASSERT_EQ(Ostrel(NULL, &length), (DWORD)ERROR_BUFFER_OVERFLOW);
    ASSERT_GE(length, sizeof(IP_ADAPTER_INFO));
    ULONG needed = length;
    std::vector<ULONGLONG> storage(needed / 8 + 16);
    BYTE* buffer = (BYTE*)storage.data();
    length = needed + 64;
    EXPECT_EQ(Ostrel((PIP_ADAPTER_INFO)(buffer + 1), &length), (DWORD)ERROR_INVALID_PARAMETER);
    ASSERT_EQ(Ostrel((PIP_ADAPTER_INFO)buffer, &length), (DWORD)ERROR_SUCCESS);

    for (const IP_ADAPTER_INFO* record = (const IP_ADAPTER_INFO*)buffer; record != NULL;
         record = record->Next) {
        ASSERT_GE((const BYTE*)record, buffer);
        ASSERT_LE((const BYTE*)(record + 1), buffer + needed);
        EXPECT_NE(24u, record->Type) << record->Description;
        for (const IP_ADDR_STRING* node = &record->IpAddressList; node != NULL; node = node->Next) {
            EXPECT_EQ(inet_addr(node->IpAddress.String), node->Context) << node->IpAddress.String;
        }
    }
}

}  // namespace
