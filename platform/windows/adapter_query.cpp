#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "adapter_records.h"
#include "gather_facts.h"
#include "os_api.h"

namespace {

const ULONG kQueryFlags = GAA_FLAG_INCLUDE_GATEWAYS | GAA_FLAG_INCLUDE_WINS_INFO |
                          GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                          GAA_FLAG_SKIP_DNS_SERVER;

// The list can grow between the sizing answer and the next call, so each
// retry asks for room to spare. A list that outgrows even that is the
// caller's to ask for again: its own loop retries, and bounds the run.
const int kQueryAttempts = 4;

ULONG WithHeadroom(ULONG size)
{
    return size <= ULONG_MAX / 3 * 2 ? size + size / 2 : ULONG_MAX;
}

class RegistryKey {
   public:
    explicit RegistryKey(const std::string& path)
    {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &key_) !=
            ERROR_SUCCESS) {
            key_ = NULL;
        }
    }
    ~RegistryKey()
    {
        if (key_ != NULL) {
            RegCloseKey(key_);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool ReadDword(const char* name, DWORD* value) const
    {
        DWORD type = 0;
        DWORD size = sizeof(*value);
        return key_ != NULL &&
               RegQueryValueExA(key_, name, NULL, &type, (BYTE*)value, &size) == ERROR_SUCCESS &&
               type == REG_DWORD && size == sizeof(*value);
    }

   private:
    HKEY key_ = NULL;
};

// An unsigned count of seconds; a value past 2038 is clamped by the writer
// rather than wrapped to a date before 1970.
int64_t ReadLeaseObtained(const char* adapterName)
{
    if (adapterName == NULL) {
        return 0;
    }
    std::string path = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";
    path.append(adapterName, strnlen(adapterName, MAX_ADAPTER_NAME_LENGTH));
    DWORD value = 0;
    return RegistryKey(path).ReadDword("LeaseObtainedTime", &value) ? (int64_t)value : 0;
}

int64_t SecondsSince1970()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t ticks = ((uint64_t)now.dwHighDateTime << 32) | now.dwLowDateTime;
    return (int64_t)(ticks / 10000000u) - 11644473600LL;
}

DWORD AnswerOstrel(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen)
{
    DWORD result = CheckAdapterBuffer(pAdapterInfo, pOutBufLen);
    if (result != ERROR_SUCCESS) {
        return result;
    }

    const ULONG offered = *pOutBufLen;
    // ULONGLONG elements give the list the 8-byte alignment its records need.
    std::vector<ULONGLONG> list;
    ULONG size = 16 * 1024;
    result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < kQueryAttempts && result == ERROR_BUFFER_OVERFLOW; attempt++) {
        list.assign(size / sizeof(ULONGLONG) + 1, 0);
        size = (ULONG)(list.size() * sizeof(ULONGLONG));
        result = GetAdaptersAddresses(AF_INET, kQueryFlags, NULL,
                                      (PIP_ADAPTER_ADDRESSES)list.data(), &size);
        size = WithHeadroom(size);
    }
    if (result == ERROR_BUFFER_OVERFLOW) {
        // Never less than a record: an offer of 0 must not be answered 0.
        *pOutBufLen =
            WithHeadroom(offered > sizeof(IP_ADAPTER_INFO) ? offered : sizeof(IP_ADAPTER_INFO));
        return ERROR_BUFFER_OVERFLOW;
    }
    if (result != ERROR_SUCCESS) {
        return result;
    }

    LeaseClock clock{SecondsSince1970(), ReadLeaseObtained};
    std::vector<AdapterFacts> adapters =
        GatherAdapterFacts((const IP_ADAPTER_ADDRESSES_LH*)list.data(), clock);
    result = WriteAdapterRecords(adapters, pAdapterInfo, pOutBufLen);
    // An offer above one record that falls short was sized by an earlier
    // answer: the list grew since, and may grow again by the next call.
    if (result == ERROR_BUFFER_OVERFLOW && offered > sizeof(IP_ADAPTER_INFO)) {
        *pOutBufLen = WithHeadroom(*pOutBufLen);
    }
    return result;
}

}  // namespace

DWORD Ostrel(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen)
{
    // Nothing may escape into the tool, which knows only result codes.
    try {
        return AnswerOstrel(pAdapterInfo, pOutBufLen);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_GEN_FAILURE;
    }
}
