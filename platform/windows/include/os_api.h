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

// version.dll's and iphlpapi.dll's functions, from the system folder only
// (system_library.cpp), under their own names. Both libraries load as one set: when either cannot
// be loaded or lacks one of these, the version functions answer 0 with the reason as the thread's
// last error and the adapter list answers the reason itself.
DWORD SystemGetFileVersionInfoSizeA(LPCSTR name, LPDWORD handle);
BOOL SystemGetFileVersionInfoA(LPCSTR name, DWORD handle, DWORD length, LPVOID data);
BOOL SystemVerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* value, PUINT length);
ULONG SystemGetAdaptersAddresses(ULONG family, ULONG flags, PVOID reserved,
                                 PIP_ADAPTER_ADDRESSES list, PULONG size);
#define GetFileVersionInfoSizeA SystemGetFileVersionInfoSizeA
#define GetFileVersionInfoA SystemGetFileVersionInfoA
#define VerQueryValueA SystemVerQueryValueA
#define GetAdaptersAddresses SystemGetAdaptersAddresses

// Fills pAdapterInfo with the chain of adapter records, or writes the length
// needed back into *pOutBufLen and answers ERROR_BUFFER_OVERFLOW.
//
// The buffer must be aligned for IP_ADAPTER_INFO (4 bytes on this target;
// what malloc returns) and may be null only with *pOutBufLen 0. The chain
// is at most 4 GiB - 1 bytes, the most a ULONG can ask for. Results:
//   ERROR_SUCCESS             the chain is in the buffer
//   ERROR_BUFFER_OVERFLOW     *pOutBufLen now holds the length needed
//   ERROR_INVALID_PARAMETER   no length, or a null or misaligned buffer
//   ERROR_NO_DATA             the system has no IPv4 adapter
//   ERROR_NOT_ENOUGH_MEMORY   an allocation failed, or the chain would pass 4 GiB
//   ERROR_GEN_FAILURE         the adapter list kept changing, or an internal fault
//   anything else             GetAdaptersAddresses' own refusal, passed on, or
//                             why the system's libraries could not be loaded
// Never throws.
DWORD Ostrel(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen);
