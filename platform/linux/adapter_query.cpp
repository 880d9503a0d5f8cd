// The adapter query: the kernel's interfaces as a chain of adapter records.
#include "adapter_query.h"

#include <cerrno>
#include <memory>
#include <new>

#include "adapter_records.h"
#include "dump_loop.h"
#include "gather_facts.h"
#include "leases.h"
#include "result_codes.h"

namespace {

int OpenKernelChannel(std::unique_ptr<NetlinkChannel>* channel)
{
    std::unique_ptr<NetlinkSocket> socket(new NetlinkSocket);
    int error = socket->Open();
    if (error == 0) {
        *channel = std::move(socket);
    }
    return error;
}

QueryChannelOpener queryChannelOpener = OpenKernelChannel;

// The facts a sizing round answers from, kept from its first call to the
// call after an overflow answer: the length asked for then is the length
// these facts need.
std::unique_ptr<std::vector<AdapterFacts>> roundAdapters;

// Returns 0 or the errno value of the kernel reader, the lease stores or /sys.
int TakeSnapshot(std::vector<AdapterFacts>* adapters)
{
    std::unique_ptr<NetlinkChannel> channel;
    int error = OpenQueryChannel(&channel);
    if (error != 0) {
        return error;
    }
    NetlinkDumper dumper;
    NetSnapshot snapshot;
    error = DumpSnapshot(*channel, dumper, snapshot);
    if (error != 0) {
        return error;
    }
    // The kernel's ages are counted up to the dump: the clocks read later
    // would add the time the lease stores take.
    KernelClock clock;
    if (error = ReadKernelClock(&clock); error != 0) {
        return error;
    }
    // Interfaces are listed for the lease reader only when there is
    // something to read: a namespace may hold thousands of them.
    std::unordered_map<uint32_t, LeaseCandidates> leases;
    LeaseStoreFiles stores;
    // Leases that are there but could not be read would make a quieter,
    // wrong report: the query fails instead.
    error = ListLeaseStores("", &stores);
    if (error == 0 && !stores.empty()) {
        error = ReadLeases(stores, ListLeaseInterfaces(snapshot), &leases);
    }
    if (error != 0) {
        return error;
    }
    return GatherAdapterFacts(snapshot, leases, clock, "/sys/class/net", adapters);
}

}  // namespace

static DWORD AnswerOstrel(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen)
{
    DWORD result = CheckAdapterBuffer(pAdapterInfo, pOutBufLen);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    int error = 0;
    if (roundAdapters == nullptr) {
        roundAdapters.reset(new std::vector<AdapterFacts>);
        error = TakeSnapshot(roundAdapters.get());
    }
    // Errno values become the query's result code here alone.
    result = ResultCodeFor(error);
    if (result == ERROR_SUCCESS) {
        result = WriteAdapterRecords(*roundAdapters, pAdapterInfo, pOutBufLen);
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
        roundAdapters.reset();
    }
    return result;
}

int OpenQueryChannel(std::unique_ptr<NetlinkChannel>* channel)
{
    return queryChannelOpener(channel);
}

QueryChannelOpener SetQueryChannelOpener(QueryChannelOpener opener)
{
    QueryChannelOpener before = queryChannelOpener;
    queryChannelOpener = opener != nullptr ? opener : OpenKernelChannel;
    return before;
}
