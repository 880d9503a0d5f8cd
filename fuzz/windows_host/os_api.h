// The part of the Windows headers the adapter-list conversion uses, for a
// build on the fuzzing host: the structures in the members' order of
// MinGW-w64's iptypes.h and winsock2.h (ULONG 32 bits, WCHAR 16), those the
// conversion never reads as opaque pointers, and a double-byte code page
// standing in for the system's ANSI one.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint8_t BYTE;
typedef uint8_t UINT8;
typedef uint16_t u_short;
typedef int32_t INT;
typedef uint32_t UINT;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint64_t ULONGLONG;
typedef uint64_t ULONG64;
typedef char16_t WCHAR;
typedef int BOOL;

#define MAX_ADAPTER_NAME_LENGTH 256
#define MAX_ADAPTER_DESCRIPTION_LENGTH 128
#define MAX_ADAPTER_ADDRESS_LENGTH 8
#define IP_ADAPTER_DHCP_ENABLED 0x4
#define IF_TYPE_SOFTWARE_LOOPBACK 24
#define AF_INET 2
#define CP_ACP 0

struct sockaddr {
    u_short sa_family;
    char sa_data[14];
};

struct in_addr {
    union {
        struct {
            BYTE s_b1, s_b2, s_b3, s_b4;
        } S_un_b;
        ULONG S_addr;
    } S_un;
};

struct sockaddr_in {
    short sin_family;
    u_short sin_port;
    in_addr sin_addr;
    char sin_zero[8];
};

typedef struct _SOCKET_ADDRESS {
    sockaddr* lpSockaddr;
    INT iSockaddrLength;
} SOCKET_ADDRESS;

typedef struct _IP_ADAPTER_UNICAST_ADDRESS_LH {
    union {
        ULONGLONG Alignment;
        struct {
            ULONG Length;
            DWORD Flags;
        };
    };
    _IP_ADAPTER_UNICAST_ADDRESS_LH* Next;
    SOCKET_ADDRESS Address;
    int PrefixOrigin;
    int SuffixOrigin;
    int DadState;
    ULONG ValidLifetime;
    ULONG PreferredLifetime;
    ULONG LeaseLifetime;
    UINT8 OnLinkPrefixLength;
} IP_ADAPTER_UNICAST_ADDRESS_LH;

// The gateway and WINS server nodes share one layout.
typedef struct _IP_ADAPTER_SERVER_ADDRESS {
    union {
        ULONGLONG Alignment;
        struct {
            ULONG Length;
            DWORD Reserved;
        };
    };
    _IP_ADAPTER_SERVER_ADDRESS* Next;
    SOCKET_ADDRESS Address;
} IP_ADAPTER_GATEWAY_ADDRESS_LH, IP_ADAPTER_WINS_SERVER_ADDRESS_LH;

typedef struct _IP_ADAPTER_ADDRESSES_LH {
    union {
        ULONGLONG Alignment;
        struct {
            ULONG Length;
            ULONG IfIndex;
        };
    };
    _IP_ADAPTER_ADDRESSES_LH* Next;
    char* AdapterName;
    IP_ADAPTER_UNICAST_ADDRESS_LH* FirstUnicastAddress;
    void* FirstAnycastAddress;
    void* FirstMulticastAddress;
    void* FirstDnsServerAddress;
    WCHAR* DnsSuffix;
    WCHAR* Description;
    WCHAR* FriendlyName;
    BYTE PhysicalAddress[MAX_ADAPTER_ADDRESS_LENGTH];
    ULONG PhysicalAddressLength;
    ULONG Flags;
    ULONG Mtu;
    ULONG IfType;
    int OperStatus;
    ULONG Ipv6IfIndex;
    ULONG ZoneIndices[16];
    void* FirstPrefix;
    ULONG64 TransmitLinkSpeed;
    ULONG64 ReceiveLinkSpeed;
    IP_ADAPTER_WINS_SERVER_ADDRESS_LH* FirstWinsServerAddress;
    IP_ADAPTER_GATEWAY_ADDRESS_LH* FirstGatewayAddress;
    ULONG Ipv4Metric;
    ULONG Ipv6Metric;
    ULONG64 Luid;
    SOCKET_ADDRESS Dhcpv4Server;
} IP_ADAPTER_ADDRESSES_LH;

// Shift-JIS-like: the first 128 code units are ASCII, the next 128 single
// bytes outside the lead bytes' ranges, surrogates '?', and the rest
// a lead byte (0x81-0x9F) and a trail byte (0x40-0xFC).
inline bool IsDBCSLeadByte(BYTE byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Only the whole-string form (wideLength -1): the bytes needed, the
// terminator included, when size is 0, else those written, or 0 when they
// do not fit.
inline int WideCharToMultiByte(UINT, DWORD, const WCHAR* wide, int wideLength, char* text, int size,
                               const char*, BOOL*)
{
    if (wideLength != -1) {
        return 0;
    }
    int needed = 0;
    for (const WCHAR* at = wide;; at++) {
        char bytes[2];
        int count = 1;
        if (*at < 0x80) {
            bytes[0] = static_cast<char>(*at);
        } else if (*at < 0x100) {
            bytes[0] = static_cast<char>(0xA1 + (*at - 0x80) % 0x3F);
        } else if (*at >= 0xD800 && *at <= 0xDFFF) {
            bytes[0] = '?';
        } else {
            bytes[0] = static_cast<char>(0x81 + (*at >> 8) % 0x1F);
            bytes[1] = static_cast<char>(0x40 + *at % 0xBD);
            count = 2;
        }
        if (size > 0) {
            if (needed + count > size) {
                return 0;
            }
            for (int i = 0; i < count; i++) {
                text[needed + i] = bytes[i];
            }
        }
        needed += count;
        if (*at == 0) {
            return needed;
        }
    }
}
