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

// The record's numbers are 32 bits wide on every build; long may be wider.
static unsigned long Number(DWORD value)
{
    return (unsigned long)value;
}

// The hexadecimal form shows the 32 bits the record holds, whatever the
// width of long on this build.
static unsigned long LeaseBits(int32_t value)
{
    return (unsigned long)(uint32_t)value;
}

void DumpAdapterInfo(const IP_ADAPTER_INFO* record)
{
    printf("IP_ADAPTER_INFO: \n");
    printf("Next:            0x%08lx (%lu) \n", LinkValue(record->Next), LinkValue(record->Next));
    printf("ComboIndex:      0x%lx (%lu) \n", Number(record->ComboIndex),
           Number(record->ComboIndex));
    printf("AdapterName:     %.*s \n", FIELD_TEXT(record->AdapterName));
    printf("Description:     %.*s \n", FIELD_TEXT(record->Description));
    printf("AddressLength:   0x%lx (%lu) \n", Number(record->AddressLength),
           Number(record->AddressLength));
    printf("Address:         0x");
    UINT length = record->AddressLength;
    if (length > sizeof(record->Address)) {
        length = sizeof(record->Address);
    }
    for (UINT i = 0; i < length; i++) {
        printf("%02x", (unsigned int)record->Address[i]);
    }
    printf("\n");
    printf("Index:           0x%lx (%lu) \n", Number(record->Index), Number(record->Index));
    printf("Type:            0x%lx (%lu) \n", Number(record->Type), Number(record->Type));
    printf("DhcpEnabled:     0x%lx (%lu) \n", Number(record->DhcpEnabled),
           Number(record->DhcpEnabled));
    printf("CurrentIpAddress: \n");
    DumpAddrStringList(record->CurrentIpAddress);
    printf("IpAddressList: \n");
    DumpAddrStringList(&record->IpAddressList);
    printf("GatewayList: \n");
    DumpAddrStringList(&record->GatewayList);
    printf("DhcpServer: \n");
    DumpAddrStringList(&record->DhcpServer);
    printf("HaveWins:        0x%lx (%lu) \n", Number((DWORD)record->HaveWins),
           Number((DWORD)record->HaveWins));
    printf("PrimaryWinsServer: \n");
    DumpAddrStringList(&record->PrimaryWinsServer);
    printf("SecondaryWinsServer: \n");
    DumpAddrStringList(&record->SecondaryWinsServer);
    int32_t leaseObtained = (int32_t)record->LeaseObtained;
    printf("LeaseObtained:   0x%lx (%li) %s", LeaseBits(leaseObtained), (long)leaseObtained,
           LeaseTimeText(leaseObtained));
    int32_t leaseExpires = (int32_t)record->LeaseExpires;
    printf("LeaseExpires:    0x%lx (%li) %s", LeaseBits(leaseExpires), (long)leaseExpires,
           LeaseTimeText(leaseExpires));
    printf("\n");
}
