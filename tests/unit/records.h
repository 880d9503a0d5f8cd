// Helpers that lay out adapter records the way a platform would, and the
// text the report is expected to show for links.
#pragma once

#include <cstring>
#include <string>

#include "platform.h"

inline std::string LinkText(const void* link)
{
    char text[64];
    snprintf(text, sizeof(text), "0x%08lx (%lu)", (unsigned long)(uintptr_t)link,
             (unsigned long)(uintptr_t)link);
    return text;
}

inline void SetNode(IP_ADDR_STRING* node, const char* address, const char* mask, DWORD context)
{
    strncpy(node->IpAddress.String, address, sizeof(node->IpAddress.String));
    strncpy(node->IpMask.String, mask, sizeof(node->IpMask.String));
    node->Context = context;
}

// Chains count records from the start of the buffer, each named ethN.
inline void FillRecords(IP_ADAPTER_INFO* records, int count)
{
    for (int i = 0; i < count; i++) {
        IP_ADAPTER_INFO* record = &records[i];
        snprintf(record->AdapterName, sizeof(record->AdapterName), "eth%d", i);
        record->Index = (DWORD)(i + 1);
        record->Next = i + 1 < count ? &records[i + 1] : NULL;
    }
}
