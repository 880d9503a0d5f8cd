// The adapter query: the kernel's interfaces as a chain of adapter records.
#include <memory>
#include <new>

#include "adapter_table.h"
#include "netlink_channel.h"
#include "os_api.h"

namespace {

// What one sizing round keeps between an overflow answer and the next call.
struct QueryState {
    QueryChannels channels;
    NetlinkDumper dumper;
    AdapterTable table;
};

std::unique_ptr<QueryState> heldState;
unsigned long snapshotsTaken = 0;

DWORD TakeSnapshot(QueryState& state)
{
    AdapterTable& table = state.table;
    int error = DumpSnapshot(*state.channels.dump, state.dumper, table.snapshot);
    if (error != 0) {
        return MapKernelError(error);
    }
    ++snapshotsTaken;
    // Interfaces are listed for the lease reader only when there is
    // something to read: a namespace may hold thousands of them.
    std::unordered_map<uint32_t, LeaseCandidates> leases;
    LeaseStores stores = ListLeaseStores("/");
    if (!stores.empty()) {
        leases = ReadLeases(stores, ListLeaseInterfaces(table.snapshot));
    }
    BuildAdapterTable(table, leases, ReadAdapterClock(), "/sys/class/net");
    return ERROR_SUCCESS;
}

}  // namespace

unsigned long CountAdapterSnapshots()
{
    return snapshotsTaken;
}

static DWORD AnswerOstrel(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen)
{
    DWORD result = ERROR_SUCCESS;
    if (pOutBufLen == NULL || (pAdapterInfo == NULL && *pOutBufLen != 0)) {
        result = ERROR_INVALID_PARAMETER;
    } else if (heldState == nullptr) {
        heldState.reset(new QueryState);
        result = MapKernelError(OpenQueryChannels(heldState->channels));
        if (result == ERROR_SUCCESS) {
            result = TakeSnapshot(*heldState);
        }
    } else if (DrainNotifications(heldState->channels.watch.get())) {
        result = TakeSnapshot(*heldState);
    }
    if (result == ERROR_SUCCESS) {
        result = AnswerAdapterQuery(heldState->table, pAdapterInfo, pOutBufLen);
    }
    return result;
}

DWORD Ostrel(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen)
{
    DWORD result;
    try {
        result = AnswerOstrel(pAdapterInfo, pOutBufLen);
    } catch (const std::bad_alloc&) {
        result = ERROR_NOT_ENOUGH_MEMORY;
    }
    // Only an overflow answer is followed by another call of the same round.
    if (result != ERROR_BUFFER_OVERFLOW) {
        heldState.reset();
    }
    return result;
}
