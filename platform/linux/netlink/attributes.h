// Reading rtnetlink out of untrusted bytes: the one walk over
// length-prefixed records (messages, attributes, next hops); each
// message's attributes are indexed once by type, then read by type.
#pragma once

#include <linux/netlink.h>
#include <linux/rtnetlink.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "adapter_facts.h"

template <typename T>
T ReadValue(const uint8_t* data)
{
    T value;
    memcpy(&value, data, sizeof(value));
    return value;
}

// Walks the records of [data, data + length), each a Header and what its
// length adds, the next at that length rounded up to 4 bytes (the last may
// lack the padding); visit(header, record, recordLength) returns 0 or an
// error that ends the walk. 0, the visit's error, or EBADMSG when a length
// is short of its header or runs past the bytes, or the bytes end inside a
// header: nothing damaged is skipped.
template <typename Header, typename Visit>
int WalkRecords(const uint8_t* data, size_t length, Visit visit)
{
    while (length > 0) {
        if (length < sizeof(Header)) {
            return EBADMSG;
        }
        // A record's length, its header's included, is the header's first
        // field: 32 bits in a message's, 16 in an attribute's or a hop's.
        size_t size = sizeof(Header) == sizeof(nlmsghdr) ? ReadValue<uint32_t>(data)
                                                         : ReadValue<uint16_t>(data);
        if (size < sizeof(Header) || size > length) {
            return EBADMSG;
        }
        if (int error = visit(ReadValue<Header>(data), data, size); error != 0) {
            return error;
        }
        size_t step = std::min<size_t>(NLMSG_ALIGN(size), length);
        data += step;
        length -= step;
    }
    return 0;
}

// One attribute's payload; data is nullptr when the message lacks it.
struct Attribute {
    const uint8_t* data = nullptr;
    size_t length = 0;
};

// Fills table[type] for each attribute of [data, data + length) of a type
// the table has a slot for; the last of a repeated type wins. 0, or
// EBADMSG when the walk meets damage.
template <size_t N>
int IndexAttributes(const uint8_t* data, size_t length, Attribute (&table)[N])
{
    std::fill(table, table + N, Attribute());
    return WalkRecords<rtattr>(
        data, length, [&](const rtattr& header, const uint8_t* at, size_t size) {
            size_t type = header.rta_type & NLA_TYPE_MASK;
            if (type < N) {
                table[type] = Attribute{at + RTA_LENGTH(0), size - RTA_LENGTH(0)};
            }
            return 0;
        });
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
int ReadVia(const Attribute& attribute, Ipv4Bytes* address, bool* ipv4);

// A read whose attribute may be absent: ENOENT becomes 0, the result keeps
// its default.
inline int AllowAbsent(int error)
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
// nor a UTF-8 sequence is overrun; an absent one leaves the field as it is.
void CopyKernelText(char* field, size_t fieldSize, const Attribute& text);
