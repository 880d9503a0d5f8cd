// Turns the system's adapter list (GetAdaptersAddresses, IPv4) into the
// chain of IP_ADAPTER_INFO records the tool reads, laid out in the caller's
// buffer. Kept apart from the system calls so tests can feed it lists.
#pragma once

#include <cstdint>
#include <functional>

#include "os_api.h"

struct AdapterClock {
    int64_t now;  // seconds since 1970-01-01 UTC
    // The lease start Windows records for the adapter named (its GUID text),
    // or 0 when there is none.
    std::function<int32_t(const char* adapterName)> leaseObtained;
};

// Sizing contract of Ostrel(): ERROR_BUFFER_OVERFLOW with the needed length
// written back when *length is too small, ERROR_NO_DATA for an empty list.
DWORD FillAdapterRecords(const IP_ADAPTER_ADDRESSES_LH* first, const AdapterClock& clock,
                         PIP_ADAPTER_INFO buffer, PULONG length);
