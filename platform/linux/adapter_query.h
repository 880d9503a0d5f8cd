// The adapter query's own pieces beyond Ostrel() itself (os_api.h).
#pragma once

#include <memory>

#include "netlink_channel.h"
#include "os_api.h"

// Opens the channel a sizing round takes its snapshot over: the kernel's
// route socket, unless a test has put its own opener in place. Returns 0 or
// an errno value.
int OpenQueryChannel(std::unique_ptr<NetlinkChannel>* channel);

typedef int (*QueryChannelOpener)(std::unique_ptr<NetlinkChannel>* channel);
// Replaces the opener (nullptr: the kernel's); returns the one before.
QueryChannelOpener SetQueryChannelOpener(QueryChannelOpener opener);
