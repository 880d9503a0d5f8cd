// The Windows services Ostrel uses come from the system headers; only the
// adapter query is the tool's own, built on GetAdaptersAddresses.
#pragma once

// The system headers depend on their order.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <cstdint>

// The lease members are time_t in iptypes.h; on this 32-bit target that is
// 32 bits, as in the platform's published record.
typedef int32_t time32_t;
static_assert(sizeof(time_t) == 4, "the lease members must be 32-bit");
static_assert(sizeof(IP_ADDR_STRING) == 40, "32-bit IP_ADDR_STRING layout");
static_assert(sizeof(IP_ADAPTER_INFO) == 640, "32-bit IP_ADAPTER_INFO layout");

// Fills pAdapterInfo with the chain of adapter records, or writes the length
// needed back into *pOutBufLen and answers ERROR_BUFFER_OVERFLOW.
DWORD Ostrel(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen);
