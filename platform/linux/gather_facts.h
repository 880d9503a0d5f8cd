// Gathers the facts of every interface of a kernel snapshot, with what the
// lease stores and /sys add, for the record writer.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "adapter_facts.h"
#include "kernel_time.h"
#include "leases.h"
#include "netlink.h"

// The clocks now. In a time namespace CLOCK_MONOTONIC runs ahead of the
// host's by the namespace's offset (/proc/self/timens_offsets), while the
// kernel's address timestamps count from the host's boot: the offset is
// taken off. The kernel's own tick count, which dates its addresses,
// comes from times(2) (KernelHundredths).
KernelClock ReadKernelClock();

// The CLOCK_MONOTONIC offset of a time namespace in hundredths of a
// second, from the text of /proc/self/timens_offsets, into *hundredths.
// 0, ENOENT when the text names none, or EBADMSG when its line is malformed.
int ParseMonotonicOffset(std::string_view text, int64_t* hundredths);

// One adapter per link, in interface-index order. Each adapter lists its
// primary addresses before its secondary ones, in dump order, and its
// gateways by route priority, each gateway once. Addresses and routes of
// links missing from the snapshot are dropped. leases are keyed by
// interface index; sysNetRoot is the directory holding one entry per
// interface ("/sys/class/net").
std::vector<AdapterFacts> GatherAdapterFacts(
    const NetSnapshot& snapshot, const std::unordered_map<uint32_t, LeaseCandidates>& leases,
    const KernelClock& clock, const char* sysNetRoot);

// The interfaces of the snapshot, for the lease reader.
std::vector<LeaseInterface> ListLeaseInterfaces(const NetSnapshot& snapshot);
