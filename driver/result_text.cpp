#include <cstdio>

#include "driver.h"

void PrintResultText(DWORD code)
{
    LPSTR text = NULL;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        NULL, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, NULL);
    if (length != 0 && text != NULL) {
        printf("%.*s", (int)length, text);
    } else {
        printf("Result code %lu (0x%lx) has no system text.\n", (unsigned long)code,
               (unsigned long)code);
    }
    printf("\n");
    if (text != NULL) {
        LocalFree(text);
    }
}
