// Reading rtnetlink attributes out of untrusted bytes: each message's
// attributes are indexed once by type, then read by type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

// Indexes the attributes that follow a message's fixed header of
// headerSize bytes (message holds the netlink header too).
void IndexMessageAttributeTable(const uint8_t* message, size_t length, size_t headerSize,
                                Attribute* table, size_t count);

template <size_t N>
void IndexMessageAttributes(const uint8_t* message, size_t length, size_t headerSize,
                            Attribute (&table)[N])
{
    IndexMessageAttributeTable(message, length, headerSize, table, N);
}

// The readers of one attribute return 0, ENOENT when the message lacks it
// or EBADMSG when its payload is too short, and leave the result untouched
// unless 0: an optional attribute read over a default needs no check.

// The payload as a 32-bit number.
int ReadU32(const Attribute& attribute, uint32_t* value);

// An IPv4 address of exactly four bytes; EBADMSG for any other length.
int ReadIpv4(const Attribute& attribute, uint8_t address[4]);

// An IPv4 route's next hop given by RTA_VIA: its address when it is IPv4;
// EAFNOSUPPORT for another family, which has no IPv4 gateway to show.
int ReadVia(const Attribute& attribute, uint8_t address[4]);

// Copies a possibly unterminated kernel text, cut so that neither the field
// nor a UTF-8 sequence is overrun.
void CopyKernelText(char* field, size_t fieldSize, const Attribute& text);
