#include "adapter_records.h"

#include <gtest/gtest.h>
#include <ws2tcpip.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

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
        unsigned int b[4] = {0, 0, 0, 0};
        sscanf(dotted, "%u.%u.%u.%u", &b[0], &b[1], &b[2], &b[3]);
        BYTE* bytes = (BYTE*)&address->sin_addr;
        for (int i = 0; i < 4; i++) {
            bytes[i] = (BYTE)b[i];
        }
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
        IP_ADAPTER_UNICAST_ADDRESS_LH* node = &unicast_.emplace_back();
        node->Address = address;
        node->OnLinkPrefixLength = prefix;
        node->LeaseLifetime = leaseLifetime;
        Append(&adapter->FirstUnicastAddress, node);
    }

    void AddGateway(IP_ADAPTER_ADDRESSES_LH* adapter, SOCKET_ADDRESS address)
    {
        IP_ADAPTER_GATEWAY_ADDRESS_LH* node = &gateways_.emplace_back();
        node->Address = address;
        Append(&adapter->FirstGatewayAddress, node);
    }

    void AddWins(IP_ADAPTER_ADDRESSES_LH* adapter, SOCKET_ADDRESS address)
    {
        IP_ADAPTER_WINS_SERVER_ADDRESS_LH* node = &wins_.emplace_back();
        node->Address = address;
        Append(&adapter->FirstWinsServerAddress, node);
    }

    const IP_ADAPTER_ADDRESSES_LH* First() const
    {
        return adapters_.empty() ? NULL : &adapters_[0];
    }

   private:
    template <typename Node>
    static void Append(Node** first, Node* node)
    {
        while (*first != NULL) {
            first = &(*first)->Next;
        }
        *first = node;
    }

    std::deque<IP_ADAPTER_ADDRESSES_LH> adapters_;
    std::deque<IP_ADAPTER_UNICAST_ADDRESS_LH> unicast_;
    std::deque<IP_ADAPTER_GATEWAY_ADDRESS_LH> gateways_;
    std::deque<IP_ADAPTER_WINS_SERVER_ADDRESS_LH> wins_;
    std::deque<sockaddr_in> ipv4_;
    std::deque<sockaddr_in6> ipv6_;
};

const AdapterClock kClock{1700000000, [](const char*) { return (int32_t)1699990000; }};

// Fills a buffer of exactly the length the sizing answer asks for.
std::vector<BYTE> Fill(const ListBuilder& list, ULONG* needed)
{
    *needed = 0;
    EXPECT_EQ(FillAdapterRecords(list.First(), kClock, NULL, needed), ERROR_BUFFER_OVERFLOW);
    std::vector<BYTE> buffer(*needed, 0xAA);
    ULONG length = *needed;
    EXPECT_EQ(FillAdapterRecords(list.First(), kClock, (PIP_ADAPTER_INFO)buffer.data(), &length),
              ERROR_SUCCESS);
    return buffer;
}

std::vector<std::string> Texts(const IP_ADDR_STRING* node)
{
    std::vector<std::string> texts;
    for (; node != NULL; node = node->Next) {
        texts.push_back(std::string(node->IpAddress.String) + "/" + node->IpMask.String);
    }
    return texts;
}

TEST(AdapterRecords, SizesAndChainsRecordsAndExtraNodesInsideTheBuffer)
{
    ListBuilder list;
    IP_ADAPTER_ADDRESSES_LH* eth = list.Adapter("{eth}", 4);
    list.AddUnicast(eth, list.Ipv4("10.1.2.3"), 24);
    list.AddUnicast(eth, list.Ipv6(), 64);
    list.AddUnicast(eth, list.Ipv4("10.9.0.1"), 16);
    list.AddUnicast(eth, list.Ipv4("192.168.7.7"), 32);
    list.AddGateway(eth, list.Ipv4("10.1.2.1"));
    list.AddGateway(eth, list.Ipv6());
    list.AddGateway(eth, list.Ipv4("10.9.0.254"));
    list.Adapter("{bare}", 9);

    ULONG needed = 0;
    std::vector<BYTE> buffer = Fill(list, &needed);
    EXPECT_EQ(needed, 2 * sizeof(IP_ADAPTER_INFO) + 3 * sizeof(IP_ADDR_STRING));

    ULONG tooShort = needed - 1;
    EXPECT_EQ(FillAdapterRecords(list.First(), kClock, (PIP_ADAPTER_INFO)buffer.data(), &tooShort),
              ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(tooShort, needed);

    const IP_ADAPTER_INFO* first = (const IP_ADAPTER_INFO*)buffer.data();
    ASSERT_EQ(first->Next, first + 1);
    EXPECT_EQ(first->Next->Next, nullptr);
    EXPECT_EQ(Texts(&first->IpAddressList),
              (std::vector<std::string>{"10.1.2.3/255.255.255.0", "10.9.0.1/255.255.0.0",
                                        "192.168.7.7/255.255.255.255"}));
    EXPECT_EQ(Texts(&first->GatewayList),
              (std::vector<std::string>{"10.1.2.1/255.255.255.255", "10.9.0.254/255.255.255.255"}));
    EXPECT_EQ(first->CurrentIpAddress, &first->IpAddressList);
    for (const IP_ADDR_STRING* node = first->IpAddressList.Next; node != NULL; node = node->Next) {
        EXPECT_GE((const BYTE*)node, buffer.data() + 2 * sizeof(IP_ADAPTER_INFO));
        EXPECT_LE((const BYTE*)(node + 1), buffer.data() + buffer.size());
    }

    const IP_ADAPTER_INFO* bare = first->Next;
    EXPECT_EQ(bare->Index, 9u);
    EXPECT_EQ(bare->CurrentIpAddress, nullptr);
    EXPECT_EQ(Texts(&bare->IpAddressList), (std::vector<std::string>{"0.0.0.0/0.0.0.0"}));
    EXPECT_EQ(Texts(&bare->GatewayList), (std::vector<std::string>{"/"}));
    EXPECT_EQ(Texts(&bare->DhcpServer), (std::vector<std::string>{"/"}));
    EXPECT_EQ(bare->HaveWins, FALSE);
}

TEST(AdapterRecords, CopiesIdentityFieldsWithinTheirFields)
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

    ULONG needed = 0;
    std::vector<BYTE> buffer = Fill(list, &needed);
    const IP_ADAPTER_INFO* record = (const IP_ADAPTER_INFO*)buffer.data();
    EXPECT_EQ(std::string(record->AdapterName), std::string(259, 'n'));
    EXPECT_EQ(strlen(record->Description), 131u);
    EXPECT_EQ(std::string(record->Description, 5), "Caf\xe9 ");  // code page 1252
    EXPECT_EQ(record->AddressLength, 8u);
    EXPECT_EQ(record->Address[0], 0x00);
    EXPECT_EQ(record->Address[7], 0xFF);
    EXPECT_EQ(record->Index, 0x1234u);
    EXPECT_EQ(record->ComboIndex, 0x1234u);
    EXPECT_EQ(record->Type, 71u);
    EXPECT_EQ(record->DhcpEnabled, 1u);
}

TEST(AdapterRecords, DhcpServerWinsAndLeases)
{
    ListBuilder list;
    IP_ADAPTER_ADDRESSES_LH* dhcp = list.Adapter("{dhcp}", 2);
    dhcp->Flags = IP_ADAPTER_DHCP_ENABLED;
    list.AddUnicast(dhcp, list.Ipv4("172.16.5.9"), 20, 3600);
    dhcp->Dhcpv4Server = list.Ipv4("172.16.0.1");
    list.AddWins(dhcp, list.Ipv4("172.16.0.2"));
    list.AddWins(dhcp, list.Ipv4("172.16.0.3"));
    list.AddWins(dhcp, list.Ipv4("172.16.0.4"));
    IP_ADAPTER_ADDRESSES_LH* forever = list.Adapter("{forever}", 3);
    forever->Flags = IP_ADAPTER_DHCP_ENABLED;
    list.AddUnicast(forever, list.Ipv4("172.17.0.9"), 0);
    IP_ADAPTER_ADDRESSES_LH* fixed = list.Adapter("{static}", 5);
    list.AddUnicast(fixed, list.Ipv4("172.18.0.9"), 8, 600);

    ULONG needed = 0;
    std::vector<BYTE> buffer = Fill(list, &needed);
    const IP_ADAPTER_INFO* record = (const IP_ADAPTER_INFO*)buffer.data();
    EXPECT_EQ(Texts(&record->IpAddressList),
              (std::vector<std::string>{"172.16.5.9/255.255.240.0"}));
    EXPECT_EQ(Texts(&record->DhcpServer), (std::vector<std::string>{"172.16.0.1/255.255.255.255"}));
    EXPECT_EQ(record->HaveWins, TRUE);
    EXPECT_EQ(Texts(&record->PrimaryWinsServer),
              (std::vector<std::string>{"172.16.0.2/255.255.255.255"}));
    EXPECT_EQ(Texts(&record->SecondaryWinsServer),
              (std::vector<std::string>{"172.16.0.3/255.255.255.255"}));
    EXPECT_EQ(record->LeaseObtained, 1699990000);
    EXPECT_EQ(record->LeaseExpires, 1700003600);

    const IP_ADAPTER_INFO* unlimited = record->Next;
    EXPECT_EQ(Texts(&unlimited->IpAddressList), (std::vector<std::string>{"172.17.0.9/0.0.0.0"}));
    EXPECT_EQ(unlimited->LeaseObtained, 1699990000);
    EXPECT_EQ(unlimited->LeaseExpires, 0);

    const IP_ADAPTER_INFO* manual = unlimited->Next;
    EXPECT_EQ(manual->DhcpEnabled, 0u);
    EXPECT_EQ(manual->LeaseObtained, 0);
    EXPECT_EQ(manual->LeaseExpires, 0);
}

TEST(AdapterRecords, EmptyListAndDamagedAddresses)
{
    ListBuilder none;
    ULONG length = 640;
    IP_ADAPTER_INFO record;
    EXPECT_EQ(FillAdapterRecords(none.First(), kClock, &record, &length), (DWORD)ERROR_NO_DATA);

    ListBuilder list;
    IP_ADAPTER_ADDRESSES_LH* adapter = list.Adapter("{odd}", 1);
    SOCKET_ADDRESS shortAddress = list.Ipv4("1.2.3.4");
    shortAddress.iSockaddrLength = 4;
    list.AddUnicast(adapter, shortAddress, 8);
    list.AddUnicast(adapter, {NULL, 0}, 8);
    adapter->Dhcpv4Server = {NULL, 0};
    ULONG needed = 0;
    std::vector<BYTE> buffer = Fill(list, &needed);
    EXPECT_EQ(needed, sizeof(IP_ADAPTER_INFO));
    EXPECT_EQ(((const IP_ADAPTER_INFO*)buffer.data())->CurrentIpAddress, nullptr);
}

// The real query under Wine: the sizing contract, and loopback as the
// platform describes it.
TEST(OstrelQuery, SizingContractAndLoopback)
{
    EXPECT_EQ(Ostrel(NULL, NULL), (DWORD)ERROR_INVALID_PARAMETER);
    ULONG length = 640;
    EXPECT_EQ(Ostrel(NULL, &length), (DWORD)ERROR_INVALID_PARAMETER);

    length = 0;
    ASSERT_EQ(Ostrel(NULL, &length), (DWORD)ERROR_BUFFER_OVERFLOW);
    ASSERT_GE(length, sizeof(IP_ADAPTER_INFO));
    ULONG needed = length;
    std::vector<BYTE> buffer(needed + 64);
    length = (ULONG)buffer.size();
    ASSERT_EQ(Ostrel((PIP_ADAPTER_INFO)buffer.data(), &length), (DWORD)ERROR_SUCCESS);

    bool sawLoopback = false;
    for (const IP_ADAPTER_INFO* record = (const IP_ADAPTER_INFO*)buffer.data(); record != NULL;
         record = record->Next) {
        ASSERT_GE((const BYTE*)record, buffer.data());
        ASSERT_LE((const BYTE*)(record + 1), buffer.data() + needed);
        if (record->Type == 24) {
            sawLoopback = true;
            EXPECT_EQ(Texts(&record->IpAddressList),
                      (std::vector<std::string>{"127.0.0.1/255.0.0.0"}));
        }
    }
    EXPECT_TRUE(sawLoopback);
}

}  // namespace
