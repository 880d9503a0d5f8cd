#include <cstring>

#include "driver.h"
#include "text_escape.h"

static const char kFallbackVersion[] = "0, 0, 0, 0";
static const char kExeSuffix[] = ".exe";

static bool EndsWithExeSuffix(const char* name, size_t length)
{
    if (length < 4) {
        return false;
    }
    for (size_t i = 0; i < 4; i++) {
        char c = name[length - 4 + i];
        if (c >= 'A' && c <= 'Z') {
            c = (char)(c - 'A' + 'a');
        }
        if (c != kExeSuffix[i]) {
            return false;
        }
    }
    return true;
}

void ReadOwnFileVersion(const char* invocationName, char* text, size_t textSize)
{
    CopyEscapedText(text, textSize, kFallbackVersion, sizeof(kFallbackVersion) - 1);

    // A name that does not fit the platform's path limit with the suffix
    // could only be cut into the name of some other file, so it is not
    // looked up at all.
    char name[MAX_PATH] = {0};
    size_t length = strnlen(invocationName, MAX_PATH);
    bool hasSuffix = EndsWithExeSuffix(invocationName, length);
    if (length + (hasSuffix ? 0 : 4) > MAX_PATH - 1) {
        return;
    }
    memcpy(name, invocationName, length);
    if (!hasSuffix) {
        memcpy(name + length, kExeSuffix, 4);
    }

    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(name, &handle);
    if (size == 0) {
        return;
    }
    LPVOID block = LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, size);
    if (block == NULL) {
        return;
    }
    if (GetFileVersionInfoA(name, 0, size, block)) {
        LPVOID value = NULL;
        UINT valueLength = 0;
        if (VerQueryValueA(block, "\\StringFileInfo\\000004B0\\FileVersion", &value,
                           &valueLength) &&
            value != NULL) {
            // The length is in characters with the terminator; it bounds the
            // copy because the block may not terminate the text. Whoever
            // named the file wrote the text: it is escaped as every outside
            // text the report prints.
            const char* found = (const char*)value;
            CopyEscapedText(text, textSize, found, strnlen(found, valueLength));
        }
    }
    LocalFree(block);
}
