// Linux stand-ins for the Windows types and services Ostrel is written
// against. Widths and member order follow the platform's published layout;
// links are native pointers, so on 64-bit hosts the records are larger.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef uint32_t ULONG;
typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef ULONG* PULONG;
typedef DWORD* LPDWORD;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HLOCAL;
typedef UINT* PUINT;
typedef int32_t time32_t;

// Every result code the layer's operations hand back or leave as the
// thread's last error.
#define ERROR_SUCCESS 0UL
#define ERROR_FILE_NOT_FOUND 2UL
#define ERROR_TOO_MANY_OPEN_FILES 4UL
#define ERROR_ACCESS_DENIED 5UL
#define ERROR_NOT_ENOUGH_MEMORY 8UL
#define ERROR_GEN_FAILURE 31UL
#define ERROR_NOT_SUPPORTED 50UL
#define ERROR_INVALID_PARAMETER 87UL
#define ERROR_BUFFER_OVERFLOW 111UL
#define ERROR_INSUFFICIENT_BUFFER 122UL
#define ERROR_NO_DATA 232UL
#define ERROR_MR_MID_NOT_FOUND 317UL
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812UL

#define MAX_PATH 260
#define MAX_ADAPTER_NAME_LENGTH 256
#define MAX_ADAPTER_DESCRIPTION_LENGTH 128
#define MAX_ADAPTER_ADDRESS_LENGTH 8

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000

#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

typedef struct {
    char String[4 * 4];
} IP_ADDRESS_STRING, *PIP_ADDRESS_STRING, IP_MASK_STRING, *PIP_MASK_STRING;

typedef struct _IP_ADDR_STRING {
    struct _IP_ADDR_STRING* Next;
    IP_ADDRESS_STRING IpAddress;
    IP_MASK_STRING IpMask;
    DWORD Context;
} IP_ADDR_STRING, *PIP_ADDR_STRING;

typedef struct _IP_ADAPTER_INFO {
    struct _IP_ADAPTER_INFO* Next;
    DWORD ComboIndex;
    char AdapterName[MAX_ADAPTER_NAME_LENGTH + 4];
    char Description[MAX_ADAPTER_DESCRIPTION_LENGTH + 4];
    UINT AddressLength;
    BYTE Address[MAX_ADAPTER_ADDRESS_LENGTH];
    DWORD Index;
    UINT Type;
    UINT DhcpEnabled;
    PIP_ADDR_STRING CurrentIpAddress;
    IP_ADDR_STRING IpAddressList;
    IP_ADDR_STRING GatewayList;
    IP_ADDR_STRING DhcpServer;
    BOOL HaveWins;
    IP_ADDR_STRING PrimaryWinsServer;
    IP_ADDR_STRING SecondaryWinsServer;
    time32_t LeaseObtained;
    time32_t LeaseExpires;
} IP_ADAPTER_INFO, *PIP_ADAPTER_INFO;

// Fills pAdapterInfo with the chain of adapter records, or writes the length
// needed back into *pOutBufLen and answers ERROR_BUFFER_OVERFLOW.
//
// The buffer must be aligned for IP_ADAPTER_INFO (8 bytes on 64-bit hosts;
// what malloc returns) and may be null only with *pOutBufLen 0. The chain
// is at most 4 GiB - 1 bytes, the most a ULONG can ask for. Results:
//   ERROR_SUCCESS             the chain is in the buffer
//   ERROR_BUFFER_OVERFLOW     *pOutBufLen now holds the length needed; the
//                             next call answers from the same snapshot
//   ERROR_INVALID_PARAMETER   no length, or a null or misaligned buffer
//   ERROR_NO_DATA             the namespace has no interface
//   ERROR_ACCESS_DENIED       the kernel refused the request
//   ERROR_NOT_ENOUGH_MEMORY   an allocation failed, the kernel lacked memory,
//                             or the chain would pass 4 GiB
//   ERROR_TOO_MANY_OPEN_FILES the process or the system ran out of file
//                             descriptors (for its sockets or a lease store)
//   ERROR_NOT_SUPPORTED       the kernel has no rtnetlink
//   ERROR_GEN_FAILURE         any other kernel failure (a dump still interrupted
//                             by changes after seconds of retrying included), a
//                             lease store failing to read (EIO), or an internal fault
// Never throws.
DWORD Ostrel(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen);

// Local memory: LMEM_ZEROINIT is honoured; the handle is the pointer.
HLOCAL LocalAlloc(UINT uFlags, size_t uBytes);
// Returns null on success, the handle back on failure (as the platform does).
HLOCAL LocalFree(HLOCAL hMem);

void SetLastError(DWORD dwErrCode);
DWORD GetLastError(void);

// Only FORMAT_MESSAGE_FROM_SYSTEM texts are known. With
// FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer is really an LPSTR* that receives
// a LocalAlloc block. Returns the text length, or 0 when there is no text.
DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, va_list* Arguments);

// Version information read from the named file's embedded record. On
// failure the last error is ERROR_FILE_NOT_FOUND, ERROR_RESOURCE_DATA_NOT_FOUND,
// ERROR_ACCESS_DENIED, ERROR_INSUFFICIENT_BUFFER, ERROR_NOT_ENOUGH_MEMORY,
// ERROR_TOO_MANY_OPEN_FILES or, for a failing disk or an internal fault,
// ERROR_GEN_FAILURE. None of them throws.
DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen);
