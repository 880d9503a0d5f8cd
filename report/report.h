// Text layout of one adapter record, its address lists and lease times.
#pragma once

#include "platform.h"

// Writes the labelled block for one record, every member in record order.
void DumpAdapterInfo(const IP_ADAPTER_INFO* record);

// Writes the list header, then every node reached from node (may be null).
void DumpAddrStringList(const IP_ADDR_STRING* node);

// Writes the four lines of one address-list node.
void DumpAddrString(const IP_ADDR_STRING* node);

// Calendar text of a lease time, 24 characters and a line feed, in a text
// area that the next call overwrites.
const char* LeaseTimeText(int32_t seconds);
