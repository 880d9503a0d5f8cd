// Reading rtnetlink attributes out of untrusted bytes: each message's
// attributes are indexed once by type, then read by type.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

template <typename T>
T ReadValue(const uint8_t* data)
{
    T value;
    memcpy(&value, data, sizeof(value));
    return value;
}

// One attribute's payload; data is nullptr when the message lacks it.
struct Attribute {
    const uint8_t* data = nullptr;
    size_t length = 0;
};

// Fills table[type] for each attribute of a type below count that lies
// wholly inside [data, data + length); the last of a repeated type wins
// and a truncated attribute ends the walk.
void IndexAttributeTable(const uint8_t* data, size_t length, Attribute* table, size_t count);

// The same into a whole array, one slot per type up to its size, so that
// no count can disagree with the array.
template <size_t N>
void IndexAttributes(const uint8_t* data, size_t length, Attribute (&table)[N])
{
    IndexAttributeTable(data, length, table, N);
}

// The readers of one attribute return 0, ENOENT when the message lacks it,
// or EBADMSG when it is damaged (a payload of another size than its type
// has), and leave the result untouched unless 0.

// A payload of exactly sizeof(T) bytes: a number, an IPv4 address, a
// kernel struct.
template <typename T>
int ReadExact(const Attribute& attribute, T* value)
{
    if (attribute.data == nullptr) {
        return ENOENT;
    }
    if (attribute.length != sizeof(T)) {
        return EBADMSG;
    }
    memcpy(value, attribute.data, sizeof(T));
    return 0;
}

// An IPv4 route's next hop given by RTA_VIA: a 16-bit family, then the
// address, read only when it is IPv4; *ipv4 tells whether it was.
int ReadVia(const Attribute& attribute, uint8_t (*address)[4], bool* ipv4);

// A read whose attribute may be absent: ENOENT becomes 0, the result keeps
// its default.
inline int Optional(int error)
{
    return error == ENOENT ? 0 : error;
}

// The first failure of several reads, 0 when all worked.
inline int FirstError(std::initializer_list<int> errors)
{
    for (int error : errors) {
        if (error != 0) {
            return error;
        }
    }
    return 0;
}

// Copies a possibly unterminated kernel text, cut so that neither the field
// nor a UTF-8 sequence is overrun.
void CopyKernelText(char* field, size_t fieldSize, const Attribute& text);
