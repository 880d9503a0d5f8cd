// The adapter query's own pieces beyond Ostrel() itself (os_api.h).
#pragma once

#include <memory>

#include "netlink/netlink_channel.h"
#include "os_api.h"

// The result code for an errno value from the kernel reader or the lease
// stores: the kernel refusing the request, lacking memory, or lacking
// rtnetlink, or the process out of file descriptors; any other failure is
// ERROR_GEN_FAILURE.
DWORD MapKernelError(int error);

// How many kernel snapshots Ostrel has taken in this process.
unsigned long CountAdapterSnapshots();

// The channels one sizing round of the adapter query works over.
struct QueryChannels {
    std::unique_ptr<NetlinkChannel> watch;  // null where the kernel refused the subscription
    std::unique_ptr<NetlinkChannel> dump;
};

// Opens the channels of a sizing round: the kernel's sockets, the watch
// first so that no change before the first dump slips by, unless a test has
// put its own opener in place. Returns 0 or an errno value.
int OpenQueryChannels(QueryChannels& channels);

typedef int (*QueryChannelOpener)(QueryChannels& channels);
// Replaces the opener (nullptr: the kernel's); returns the one before.
QueryChannelOpener SetQueryChannelOpener(QueryChannelOpener opener);
