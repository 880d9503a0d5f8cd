// The record writer both builds answer the adapter query with.
#include "adapter_records.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

Ipv4Bytes Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    return Ipv4Bytes{{a, b, c, d}};
}

AdapterFacts Adapter(const std::string& name, uint32_t index)
{
    AdapterFacts facts;
    facts.name = name;
    facts.index = index;
    return facts;
}

// eth: three addresses and two gateways; bare: nothing at all.
std::vector<AdapterFacts> TwoAdapters()
{
    AdapterFacts eth = Adapter("eth0", 4);
    eth.addresses = {{Ip(192, 168, 56, 20), 24}, {Ip(10, 9, 0, 1), 16}, {Ip(10, 255, 7, 200), 32}};
    eth.gateways = {Ip(192, 168, 56, 1), Ip(10, 9, 0, 254)};
    return {eth, Adapter("bare", 9)};
}

// Records written into 8-byte-aligned storage of the length asked for.
struct Written {
    std::vector<uint64_t> storage;
    ULONG length = 0;
    DWORD result = 0;

    explicit Written(const std::vector<AdapterFacts>& adapters)
    {
        length = static_cast<ULONG>(MeasureAdapterRecords(adapters));
        storage.assign(length / 8 + 1, 0xAAAAAAAAAAAAAAAAull);
        result = WriteAdapterRecords(adapters, First(), &length);
    }
    PIP_ADAPTER_INFO First()
    {
        return reinterpret_cast<PIP_ADAPTER_INFO>(storage.data());
    }
    const uint8_t* Begin()
    {
        return reinterpret_cast<const uint8_t*>(storage.data());
    }
};

// address/mask context, node by node.
std::vector<std::string> Texts(const IP_ADDR_STRING* node)
{
    std::vector<std::string> texts;
    for (; node != nullptr; node = node->Next) {
        char context[16];
        snprintf(context, sizeof(context), " %08lx", static_cast<unsigned long>(node->Context));
        texts.push_back(std::string(node->IpAddress.String) + "/" + node->IpMask.String + context);
    }
    return texts;
}

}  // namespace

TEST(RecordWriter, SizingContract)
{
    const std::vector<AdapterFacts> adapters = TwoAdapters();
    const ULONG needed = 2 * sizeof(IP_ADAPTER_INFO) + 3 * sizeof(IP_ADDR_STRING);
    ASSERT_EQ(needed, MeasureAdapterRecords(adapters));
    std::vector<uint64_t> storage(needed / 8 + 2);
    PIP_ADAPTER_INFO aligned = reinterpret_cast<PIP_ADAPTER_INFO>(storage.data());
    PIP_ADAPTER_INFO misaligned =
        reinterpret_cast<PIP_ADAPTER_INFO>(reinterpret_cast<uint8_t*>(storage.data()) + 1);

    struct Case {
        const char* what;
        bool none;  // no adapters at all
        PIP_ADAPTER_INFO buffer;
        ULONG length;
        uint64_t maxLength;
        DWORD result;
        ULONG lengthAfter;
    };
    const Case cases[] = {
        {"no adapters", true, aligned, needed, kMaxAdapterRecordsLength, ERROR_NO_DATA, needed},
        {"null buffer asks", false, nullptr, 0, kMaxAdapterRecordsLength, ERROR_BUFFER_OVERFLOW,
         needed},
        {"null buffer with a length", false, nullptr, 5, kMaxAdapterRecordsLength,
         ERROR_INVALID_PARAMETER, 5},
        {"one byte short", false, aligned, needed - 1, kMaxAdapterRecordsLength,
         ERROR_BUFFER_OVERFLOW, needed},
        {"exact", false, aligned, needed, kMaxAdapterRecordsLength, ERROR_SUCCESS, needed},
        {"misaligned", false, misaligned, needed, kMaxAdapterRecordsLength, ERROR_INVALID_PARAMETER,
         needed},
        {"past the limit", false, aligned, 0, needed - 1, ERROR_NOT_ENOUGH_MEMORY, 0},
        {"at the limit", false, aligned, needed, needed, ERROR_SUCCESS, needed},
    };
    for (const Case& c : cases) {
        ULONG length = c.length;
        EXPECT_EQ(c.result, WriteAdapterRecords(c.none ? std::vector<AdapterFacts>() : adapters,
                                                c.buffer, &length, c.maxLength))
            << c.what;
        EXPECT_EQ(c.lengthAfter, length) << c.what;
    }
    EXPECT_EQ(ERROR_INVALID_PARAMETER, WriteAdapterRecords(adapters, aligned, nullptr));
}

TEST(RecordWriter, ChainAndNodesFillExactlyTheMeasuredBuffer)
{
    Written written(TwoAdapters());
    ASSERT_EQ(ERROR_SUCCESS, written.result);
    const IP_ADAPTER_INFO* eth = written.First();
    const IP_ADAPTER_INFO* bare = eth + 1;
    ASSERT_EQ(bare, eth->Next);
    EXPECT_EQ(nullptr, bare->Next);

    // Context of an address node is its bytes in network order read as a
    // number: both builds run little-endian. Other nodes carry 0.
    EXPECT_EQ(&eth->IpAddressList, eth->CurrentIpAddress);
    EXPECT_EQ(Texts(&eth->IpAddressList),
              (std::vector<std::string>{"192.168.56.20/255.255.255.0 1438a8c0",
                                        "10.9.0.1/255.255.0.0 0100090a",
                                        "10.255.7.200/255.255.255.255 c807ff0a"}));
    EXPECT_EQ(Texts(&eth->GatewayList),
              (std::vector<std::string>{"192.168.56.1/255.255.255.255 00000000",
                                        "10.9.0.254/255.255.255.255 00000000"}));

    // The extra nodes follow the records and end exactly at the length.
    std::set<const void*> nodes;
    const uint8_t* end = nullptr;
    for (const IP_ADDR_STRING* list : {eth->IpAddressList.Next, eth->GatewayList.Next}) {
        for (const IP_ADDR_STRING* node = list; node != nullptr; node = node->Next) {
            EXPECT_GE(reinterpret_cast<const uint8_t*>(node),
                      written.Begin() + 2 * sizeof(IP_ADAPTER_INFO));
            EXPECT_TRUE(nodes.insert(node).second);
            end = std::max(end, reinterpret_cast<const uint8_t*>(node + 1));
        }
    }
    EXPECT_EQ(3u, nodes.size());
    EXPECT_EQ(written.Begin() + written.length, end);

    EXPECT_EQ(nullptr, bare->CurrentIpAddress);
    EXPECT_EQ(Texts(&bare->IpAddressList), (std::vector<std::string>{"0.0.0.0/0.0.0.0 00000000"}));
    EXPECT_EQ(Texts(&bare->GatewayList), (std::vector<std::string>{"/ 00000000"}));
    EXPECT_EQ(Texts(&bare->DhcpServer), (std::vector<std::string>{"/ 00000000"}));
    EXPECT_EQ(Texts(&bare->PrimaryWinsServer), (std::vector<std::string>{"/ 00000000"}));
    EXPECT_EQ(0, bare->HaveWins);
    EXPECT_EQ(0, bare->LeaseObtained);
}

TEST(RecordWriter, IdentityServersAndLeases)
{
    AdapterFacts full = Adapter(std::string(300, 'n'), 0x1234);
    full.name.replace(3, 2, "\n\x1b");
    full.description = std::string(200, 'd');
    full.hardwareLength = 20;  // InfiniBand-sized, more than the record holds
    for (uint8_t i = 0; i < 8; ++i) {
        full.hardware[i] = static_cast<uint8_t>(0xF8 + i);
    }
    full.type = 71;
    full.dhcpEnabled = true;
    full.haveDhcpServer = true;
    full.dhcpServer = Ip(172, 16, 0, 1);
    full.wins = {Ip(172, 16, 0, 2), Ip(172, 16, 0, 3), Ip(172, 16, 0, 4)};
    full.leaseObtained = -5000000000LL;  // clamped, never wrapped
    full.leaseExpires = 5000000000LL;
    AdapterFacts oneWins = Adapter("one", 2);
    oneWins.wins = {Ip(10, 0, 0, 53)};
    oneWins.leaseObtained = 1700000000;
    oneWins.leaseExpires = INT32_MIN;

    Written written({full, oneWins});
    ASSERT_EQ(ERROR_SUCCESS, written.result);
    const IP_ADAPTER_INFO* record = written.First();
    EXPECT_EQ(259u, strlen(record->AdapterName));
    EXPECT_EQ(0, strncmp(record->AdapterName, "nnn\\", 4));
    EXPECT_EQ(std::string(131, 'd'), record->Description);
    EXPECT_EQ(8u, record->AddressLength);
    EXPECT_EQ(0, memcmp(full.hardware, record->Address, 8));
    EXPECT_EQ(0x1234u, record->Index);
    EXPECT_EQ(0x1234u, record->ComboIndex);
    EXPECT_EQ(71u, record->Type);
    EXPECT_EQ(1u, record->DhcpEnabled);
    EXPECT_EQ(Texts(&record->DhcpServer),
              (std::vector<std::string>{"172.16.0.1/255.255.255.255 00000000"}));
    EXPECT_EQ(1, record->HaveWins);
    EXPECT_STREQ("172.16.0.2", record->PrimaryWinsServer.IpAddress.String);
    EXPECT_STREQ("172.16.0.3", record->SecondaryWinsServer.IpAddress.String);
    EXPECT_EQ(nullptr, record->SecondaryWinsServer.Next);
    EXPECT_EQ(INT32_MIN, record->LeaseObtained);
    EXPECT_EQ(INT32_MAX, record->LeaseExpires);

    const IP_ADAPTER_INFO* one = record->Next;
    EXPECT_EQ(0u, one->DhcpEnabled);
    EXPECT_EQ(1, one->HaveWins);
    EXPECT_STREQ("10.0.0.53", one->PrimaryWinsServer.IpAddress.String);
    EXPECT_STREQ("", one->SecondaryWinsServer.IpAddress.String);
    EXPECT_STREQ("", one->DhcpServer.IpAddress.String);
    EXPECT_EQ(1700000000, one->LeaseObtained);
    EXPECT_EQ(INT32_MIN, one->LeaseExpires);
}

TEST(RecordWriter, DottedTextsMatchPrintf)
{
    char text[16];
    char want[16];
    for (int position = 0; position < 4; ++position) {
        for (int value = 0; value < 256; ++value) {
            uint8_t bytes[4] = {1, 22, 203, 0};
            bytes[position] = static_cast<uint8_t>(value);
            memset(text, 'x', sizeof(text));
            FormatDotted(bytes, text);
            snprintf(want, sizeof(want), "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
            ASSERT_STREQ(want, text);
        }
    }
    // Every prefix length against a mask built bit by bit.
    for (unsigned prefix = 0; prefix < 256; ++prefix) {
        uint8_t mask[4] = {};
        for (unsigned bit = 0; bit < prefix && bit < 32; ++bit) {
            mask[bit / 8] = static_cast<uint8_t>(mask[bit / 8] | 0x80 >> bit % 8);
        }
        FormatMask(static_cast<uint8_t>(prefix), text);
        snprintf(want, sizeof(want), "%u.%u.%u.%u", mask[0], mask[1], mask[2], mask[3]);
        EXPECT_STREQ(want, text) << prefix;
    }
}
