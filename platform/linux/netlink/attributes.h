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

// Each record's length, which counts its own header, is its header's
// first field.
inline size_t RecordLength(const nlmsghdr& header)
{
    return header.nlmsg_len;
}
inline size_t RecordLength(const rtattr& header)
{
    return header.rta_len;
}
inline size_t RecordLength(const rtnexthop& header)
{
    return header.rtnh_len;
}

// What a visit returns to end a walk early without an error.
constexpr int kWalkEnds = -1;

// Walks the records of [data, data + length), each a Header and what its
// length adds, the next one at the length rounded up to 4 bytes (the last
// may lack that padding). visit(header, record, recordLength) returns 0 to
// go on, kWalkEnds or an error. Returns 0, the visit's error, or EBADMSG
// when a record's length is shorter than its header or runs past the
// bytes, or the bytes end inside a header: nothing damaged is skipped.
template <typename Header, typename Visit>
int WalkRecords(const uint8_t* data, size_t length, Visit visit)
{
    while (length > 0) {
        if (length < sizeof(Header)) {
            return EBADMSG;
        }
        Header header = ReadValue<Header>(data);
        size_t size = RecordLength(header);
        if (size < sizeof(Header) || size > length) {
            return EBADMSG;
        }
        if (int result = visit(header, data, size); result != 0) {
            return result == kWalkEnds ? 0 : result;
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

// Fills table[type] for each attribute of a type below count in [data,
// data + length); the last of a repeated type wins. 0, or EBADMSG when the
// walk meets damage (WalkRecords).
int IndexAttributeTable(const uint8_t* data, size_t length, Attribute* table, size_t count);

// The same into a whole array, one slot per type up to its size, so that
// no count can disagree with the array.
template <size_t N>
int IndexAttributes(const uint8_t* data, size_t length, Attribute (&table)[N])
{
    return IndexAttributeTable(data, length, table, N);
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
// nor a UTF-8 sequence is overrun.
void CopyKernelText(char* field, size_t fieldSize, const Attribute& text);
