// Gathers the facts of every interface of a kernel snapshot, with what the
// lease stores and /sys add, for the record writer.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "adapter_facts.h"
#include "kernel_time.h"
#include "leases.h"
#include "netlink.h"

// One adapter per link, in interface-index order. Each adapter lists its
// primary addresses before its secondary ones, in dump order, and its
// gateways by route priority, each gateway once. Addresses and routes of
// links missing from the snapshot are dropped. leases are keyed by
// interface index; sysNetRoot is the directory holding one entry per
// interface ("/sys/class/net"). 0, or DescribeLink's error.
int GatherAdapterFacts(const NetSnapshot& snapshot,
                       const std::unordered_map<uint32_t, LeaseCandidates>& leases,
                       const KernelClock& clock, const char* sysNetRoot,
                       std::vector<AdapterFacts>* adapters);

// The interfaces of the snapshot, for the lease reader.
std::vector<LeaseInterface> ListLeaseInterfaces(const NetSnapshot& snapshot);
