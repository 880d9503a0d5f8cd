#include "attributes.h"

#include <sys/socket.h>

int IndexAttributeTable(const uint8_t* data, size_t length, Attribute* table, size_t count)
{
    for (size_t type = 0; type < count; ++type) {
        table[type] = Attribute();
    }
    return WalkRecords<rtattr>(data, length,
                               [&](const rtattr& header, const uint8_t* at, size_t size) {
                                   size_t type = header.rta_type & NLA_TYPE_MASK;
                                   if (type < count) {
                                       table[type].data = at + RTA_LENGTH(0);
                                       table[type].length = size - RTA_LENGTH(0);
                                   }
                                   return 0;
                               });
}

int ReadVia(const Attribute& attribute, Ipv4Bytes* address, bool* ipv4)
{
    uint16_t family = 0;
    if (attribute.data == nullptr) {
        return ENOENT;
    }
    if (attribute.length < sizeof(family)) {
        return EBADMSG;
    }
    memcpy(&family, attribute.data, sizeof(family));
    *ipv4 = family == AF_INET;
    if (!*ipv4) {
        return 0;
    }
    if (attribute.length != sizeof(family) + sizeof(*address)) {
        return EBADMSG;
    }
    memcpy(address->bytes, attribute.data + sizeof(family), sizeof(address->bytes));
    return 0;
}

void CopyKernelText(char* field, size_t fieldSize, const Attribute& text)
{
    size_t size = strnlen(reinterpret_cast<const char*>(text.data), text.length);
    if (size > fieldSize - 1) {
        size = fieldSize - 1;
        while (size > 0 && (text.data[size] & 0xC0) == 0x80) {
            --size;
        }
    }
    memcpy(field, text.data, size);
    field[size] = '\0';
}
