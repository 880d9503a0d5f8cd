#include "attributes.h"

#include <sys/socket.h>

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
