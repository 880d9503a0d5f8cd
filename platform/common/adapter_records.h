// Lays gathered adapter facts out as the chain of IP_ADAPTER_INFO records
// and IP_ADDR_STRING nodes the adapter query hands back. Both builds answer
// the query through this one writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "adapter_facts.h"
#include "os_api.h"

// The longest chain the query answers with: its length travels in a ULONG.
constexpr uint64_t kMaxAdapterRecordsLength = UINT32_MAX;

// The parameter contract of the adapter query: ERROR_INVALID_PARAMETER for
// no length, no buffer with a nonzero length, or a buffer not aligned for
// IP_ADAPTER_INFO; ERROR_SUCCESS otherwise.
DWORD CheckAdapterBuffer(PIP_ADAPTER_INFO buffer, PULONG length);

// Bytes the records of the adapters and their extra list nodes need.
uint64_t MeasureAdapterRecords(const std::vector<AdapterFacts>& adapters);

// Answers one adapter query: ERROR_NO_DATA without adapters,
// ERROR_NOT_ENOUGH_MEMORY when the chain would exceed maxLength (at most
// kMaxAdapterRecordsLength),
// ERROR_BUFFER_OVERFLOW with the needed length written back when *length
// is short, else the chain laid out in buffer and ERROR_SUCCESS. Parameters
// are checked as CheckAdapterBuffer does.
DWORD WriteAdapterRecords(const std::vector<AdapterFacts>& adapters, PIP_ADAPTER_INFO buffer,
                          PULONG length, uint64_t maxLength = kMaxAdapterRecordsLength);

// Dotted decimal of an address and of the mask of a prefix length; text
// holds at least 16 bytes.
void FormatDotted(const uint8_t bytes[4], char* text);
void FormatMask(uint8_t prefixLength, char* text);

// Seconds since 1970 as a record's 32-bit time: clamped, never wrapped.
time32_t ClampTime(int64_t seconds);
