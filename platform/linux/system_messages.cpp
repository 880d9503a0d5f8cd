// The system message table: the platform's text for each result code.
#include <cstring>

#include "os_api.h"

namespace {

struct SystemMessage {
    DWORD code;
    const char* text;
};

// The platform's texts for every code this layer can hand back.
const SystemMessage kSystemMessages[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_RESOURCE_DATA_NOT_FOUND, "The specified image file did not contain a resource section."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_BUFFER_OVERFLOW, "The file name is too long."},
    {ERROR_NO_DATA, "The pipe is being closed."},
};

}  // namespace

DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, va_list* Arguments)
{
    (void)lpSource;
    (void)dwLanguageId;
    (void)Arguments;
    const char* text = nullptr;
    if (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) {
        for (const SystemMessage& message : kSystemMessages) {
            if (message.code == dwMessageId) {
                text = message.text;
            }
        }
    }
    // The tool asks only for a text in local memory it frees.
    if (lpBuffer == nullptr || text == nullptr || !(dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER)) {
        SetLastError(text == nullptr ? ERROR_MR_MID_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = strlen(text);
    // The platform ends each system text with its own line break.
    size_t total = length + 1;
    size_t size = total + 1 > nSize ? total + 1 : nSize;
    char* block = static_cast<char*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, size));
    if (block == nullptr) {
        return 0;
    }
    memcpy(block, text, length);
    block[length] = '\n';
    *(LPSTR*)lpBuffer = block;
    return static_cast<DWORD>(total);
}
