#include <cstdint>
#include <cstdio>

#include "report.h"

// Records come from outside the tool, so texts are printed no further than
// their fields reach even when the terminator is missing.
#define FIELD_TEXT(field) (int)sizeof(field), (field)

static unsigned long LinkValue(const void* link)
{
    return (unsigned long)(uintptr_t)link;
}

void DumpAddrString(const IP_ADDR_STRING* node)
{
    printf("   Next:            0x%08lx (%lu) \n", LinkValue(node->Next), LinkValue(node->Next));
    printf("   IpAddress:       %.*s \n", FIELD_TEXT(node->IpAddress.String));
    printf("   IpMask:          %.*s \n", FIELD_TEXT(node->IpMask.String));
    printf("   Context :        0x%lx (%lu) \n", (unsigned long)node->Context,
           (unsigned long)node->Context);
}

void DumpAddrStringList(const IP_ADDR_STRING* node)
{
    printf("   IP_ADDR_STRING: \n");
    for (; node != NULL; node = node->Next) {
        DumpAddrString(node);
    }
}

static void DumpNumber(const char* label, DWORD value)
{
    printf("%-17s0x%lx (%lu) \n", label, (unsigned long)value, (unsigned long)value);
}

static void DumpLease(const char* label, int32_t value)
{
    // The hexadecimal form shows the 32 bits the record holds, whatever the
    // width of long on this build.
    printf("%-17s0x%lx (%li) %s", label, (unsigned long)(uint32_t)value, (long)value,
           LeaseTimeText(value));
}

void DumpAdapterInfo(const IP_ADAPTER_INFO* record)
{
    printf("IP_ADAPTER_INFO: \n");
    printf("Next:            0x%08lx (%lu) \n", LinkValue(record->Next), LinkValue(record->Next));
    DumpNumber("ComboIndex:", record->ComboIndex);
    printf("AdapterName:     %.*s \n", FIELD_TEXT(record->AdapterName));
    printf("Description:     %.*s \n", FIELD_TEXT(record->Description));
    DumpNumber("AddressLength:", record->AddressLength);
    printf("Address:         0x");
    UINT length = record->AddressLength;
    if (length > sizeof(record->Address)) {
        length = sizeof(record->Address);
    }
    for (UINT i = 0; i < length; i++) {
        printf("%02x", (unsigned int)record->Address[i]);
    }
    printf("\n");
    DumpNumber("Index:", record->Index);
    DumpNumber("Type:", record->Type);
    DumpNumber("DhcpEnabled:", record->DhcpEnabled);
    printf("CurrentIpAddress: \n");
    DumpAddrStringList(record->CurrentIpAddress);
    printf("IpAddressList: \n");
    DumpAddrStringList(&record->IpAddressList);
    printf("GatewayList: \n");
    DumpAddrStringList(&record->GatewayList);
    printf("DhcpServer: \n");
    DumpAddrStringList(&record->DhcpServer);
    DumpNumber("HaveWins:", (DWORD)record->HaveWins);
    printf("PrimaryWinsServer: \n");
    DumpAddrStringList(&record->PrimaryWinsServer);
    printf("SecondaryWinsServer: \n");
    DumpAddrStringList(&record->SecondaryWinsServer);
    DumpLease("LeaseObtained:", (int32_t)record->LeaseObtained);
    DumpLease("LeaseExpires:", (int32_t)record->LeaseExpires);
    printf("\n");
}
