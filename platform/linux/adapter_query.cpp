// The adapter query: the kernel's interfaces as a chain of adapter records.
#include "adapter_query.h"

#include <linux/rtnetlink.h>

#include <cerrno>
#include <memory>
#include <new>

#include "adapter_records.h"
#include "gather_facts.h"
#include "leases/leases.h"
#include "netlink/dump_loop.h"

namespace {

int OpenKernelChannels(QueryChannels& channels)
{
    // The watch only spares a second snapshot within one sizing round. Where
    // the kernel refuses its groups (some sandboxes do), there is no watch
    // and every call takes a fresh snapshot instead.
    std::unique_ptr<NetlinkSocket> watch(new NetlinkSocket);
    if (watch->Open(RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE, true) == 0) {
        // A changed next-hop object changes gateways without touching a
        // route. Its group is past the bind mask, and kernels before 5.3
        // lack it: they have no such objects either. A watch that failed to
        // join for another reason would miss changes, so there is none.
        int error = watch->JoinGroup(RTNLGRP_NEXTHOP);
        if (error == 0 || error == EINVAL) {
            channels.watch = std::move(watch);
        }
    }
    std::unique_ptr<NetlinkSocket> dump(new NetlinkSocket);
    int error = dump->Open(0, false);
    if (error == 0) {
        channels.dump = std::move(dump);
    }
    return error;
}

QueryChannelOpener queryChannelOpener = OpenKernelChannels;

// What one sizing round keeps between an overflow answer and the next call.
struct QueryState {
    QueryChannels channels;
    NetlinkDumper dumper;
    std::vector<AdapterFacts> adapters;
};

std::unique_ptr<QueryState> roundState;
unsigned long snapshotsTaken = 0;

// Returns 0 or the errno value of the kernel reader or the lease stores.
int TakeSnapshot(QueryState& state)
{
    NetSnapshot snapshot;
    int error = DumpSnapshot(*state.channels.dump, state.dumper, snapshot);
    if (error != 0) {
        return error;
    }
    ++snapshotsTaken;
    // Interfaces are listed for the lease reader only when there is
    // something to read: a namespace may hold thousands of them.
    std::unordered_map<uint32_t, LeaseCandidates> leases;
    LeaseStoreFiles stores;
    // Leases that are there but could not be read would make a quieter,
    // wrong report: the query fails instead.
    error = ListLeaseStores("/", &stores);
    if (error == 0 && !stores.empty()) {
        error = ReadLeases(stores, ListLeaseInterfaces(snapshot), &leases);
    }
    if (error != 0) {
        return error;
    }
    state.adapters = GatherAdapterFacts(snapshot, leases, ReadKernelClock(), "/sys/class/net");
    return 0;
}

}  // namespace

DWORD MapKernelError(int error)
{
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
        case ENOBUFS:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case EAFNOSUPPORT:
        case EPROTONOSUPPORT:
        case EOPNOTSUPP:
            return ERROR_NOT_SUPPORTED;
        default:
            return ERROR_GEN_FAILURE;
    }
}

unsigned long CountAdapterSnapshots()
{
    return snapshotsTaken;
}

static DWORD AnswerOstrel(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen)
{
    DWORD result = CheckAdapterBuffer(pAdapterInfo, pOutBufLen);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    int error = 0;
    if (roundState == nullptr) {
        roundState.reset(new QueryState);
        error = OpenQueryChannels(roundState->channels);
        if (error == 0) {
            error = TakeSnapshot(*roundState);
        }
    } else if (SnapshotMayBeStale(roundState->channels.watch.get())) {
        error = TakeSnapshot(*roundState);
    }
    // Errno values become the query's result code here alone.
    result = MapKernelError(error);
    if (result == ERROR_SUCCESS) {
        result = WriteAdapterRecords(roundState->adapters, pAdapterInfo, pOutBufLen);
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
    } catch (...) {
        result = ERROR_GEN_FAILURE;
    }
    // Only an overflow answer is followed by another call of the same round.
    if (result != ERROR_BUFFER_OVERFLOW) {
        roundState.reset();
    }
    return result;
}

int OpenQueryChannels(QueryChannels& channels)
{
    return queryChannelOpener(channels);
}

QueryChannelOpener SetQueryChannelOpener(QueryChannelOpener opener)
{
    QueryChannelOpener before = queryChannelOpener;
    queryChannelOpener = opener != nullptr ? opener : OpenKernelChannels;
    return before;
}
