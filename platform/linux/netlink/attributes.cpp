#include "attributes.h"

#include <sys/socket.h>

int ReadVia(const Attribute& attribute, Ipv4Bytes* address, bool* ipv4)
{
    if (attribute.data == nullptr) {
        return ENOENT;
    }
    if (attribute.length < sizeof(uint16_t)) {
        return EBADMSG;
    }
    *ipv4 = ReadValue<uint16_t>(attribute.data) == AF_INET;
    if (!*ipv4) {
        return 0;
    }
    if (attribute.length != sizeof(uint16_t) + sizeof(*address)) {
        return EBADMSG;
    }
    *address = ReadValue<Ipv4Bytes>(attribute.data + sizeof(uint16_t));
    return 0;
}

void CopyKernelText(char* field, size_t fieldSize, const Attribute& text)
{
    if (text.data == nullptr) {
        return;
    }
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
