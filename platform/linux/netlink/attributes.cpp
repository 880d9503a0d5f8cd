#include "attributes.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

void IndexAttributeTable(const uint8_t* data, size_t length, Attribute* table, size_t count)
{
    for (size_t type = 0; type < count; ++type) {
        table[type] = Attribute();
    }
    while (length >= sizeof(rtattr)) {
        rtattr header = ReadValue<rtattr>(data);
        if (header.rta_len < sizeof(rtattr) || header.rta_len > length) {
            return;
        }
        size_t type = header.rta_type & NLA_TYPE_MASK;
        if (type < count) {
            table[type].data = data + RTA_LENGTH(0);
            table[type].length = header.rta_len - RTA_LENGTH(0);
        }
        size_t step = RTA_ALIGN(header.rta_len);
        if (step >= length) {
            return;
        }
        data += step;
        length -= step;
    }
}

int ReadVia(const Attribute& attribute, uint8_t (*address)[4], bool* ipv4)
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
    memcpy(address, attribute.data + sizeof(family), sizeof(*address));
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
