// Turns the kernel's snapshot and the lease facts into adapter records.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "leases.h"
#include "netlink.h"
#include "os_api.h"

// What one record will carry beyond the link's own facts.
struct AdapterFacts {
    uint32_t link = 0;         // position in the snapshot's links
    uint32_t description = 0;  // offset of its terminated text in AdapterTable::texts
    UINT type = 0;
    uint32_t firstAddress = 0;  // range in AdapterTable::addressOrder
    uint32_t addressCount = 0;
    uint32_t firstGateway = 0;  // range in AdapterTable::gatewayOrder
    uint32_t gatewayCount = 0;
    uint32_t servers = UINT32_MAX;  // position in AdapterTable::servers, if any
    UINT dhcpEnabled = 0;
    BOOL haveWins = 0;
    time32_t leaseObtained = 0;
    time32_t leaseExpires = 0;
};

// DHCP and WINS servers named by a lease store, dotted decimal.
struct AdapterServers {
    char dhcp[16] = {};
    char wins[2][16] = {};
};

struct AdapterTable {
    NetSnapshot snapshot;
    std::vector<AdapterFacts> adapters;  // in interface-index order
    std::vector<uint32_t> addressOrder;  // positions in snapshot.addresses
    std::vector<uint32_t> gatewayOrder;  // positions in snapshot.gateways
    std::vector<AdapterServers> servers;
    std::string texts;  // descriptions
};

struct AdapterClock {
    int64_t realSeconds = 0;           // CLOCK_REALTIME
    uint64_t monotonicHundredths = 0;  // CLOCK_MONOTONIC, the kernel's tstamp unit
};

AdapterClock ReadAdapterClock();

// The description of an adapter of the table.
const char* FindAdapterDescription(const AdapterTable& table, const AdapterFacts& facts);

// The interfaces of the snapshot, for the lease reader.
std::vector<LeaseInterface> ListLeaseInterfaces(const NetSnapshot& snapshot);

// Fills table.adapters and the orders from table.snapshot. An interface
// takes the first of its leases that is live for an address it holds
// (ChooseLiveLease); without one, an address with a finite lifetime makes
// the kernel's lease. sysNetRoot is the
// directory holding one entry per interface ("/sys/class/net").
void BuildAdapterTable(AdapterTable& table,
                       const std::unordered_map<uint32_t, LeaseCandidates>& leases,
                       const AdapterClock& clock, const char* sysNetRoot);

// Bytes the records and their extra list nodes need.
size_t MeasureAdapterRecords(const AdapterTable& table);

// Answers one query from a built table: ERROR_NO_DATA without interfaces,
// ERROR_BUFFER_OVERFLOW with the needed length written back, or the chain
// written into buffer and ERROR_SUCCESS.
DWORD AnswerAdapterQuery(const AdapterTable& table, PIP_ADAPTER_INFO buffer, PULONG length);

// Dotted decimal of an IPv4 address, and of the mask of a prefix length;
// text holds at least 16 bytes.
void FormatDotted(const uint8_t bytes[4], char* text);
void FormatMask(uint8_t prefixLength, char* text);

// The result code for an errno value from the kernel reader.
DWORD MapKernelError(int error);

// How many kernel snapshots Ostrel has taken in this process.
unsigned long CountAdapterSnapshots();
