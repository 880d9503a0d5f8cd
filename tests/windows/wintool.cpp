// What the real Windows services answer, for the scripts that check the
// tool under Wine: "message CODE" writes FormatMessageA's text for a code
// byte for byte; "version FILE" writes the FileVersion text that
// VerQueryValueA finds in the file's record.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../unit/system_text.h"
#include "platform.h"

static int PrintMessage(DWORD code)
{
    std::string text = SystemText(code);
    fwrite(text.data(), 1, text.size(), stdout);
    return text.empty() ? 1 : 0;
}

static int PrintFileVersion(const char* name)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(name, &handle);
    if (size == 0) {
        return 1;
    }
    std::vector<char> block(size);
    LPVOID value = NULL;
    UINT length = 0;
    if (!GetFileVersionInfoA(name, 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\StringFileInfo\\000004B0\\FileVersion", &value, &length) ||
        value == NULL) {
        return 1;
    }
    fwrite(value, 1, strnlen((const char*)value, length), stdout);
    return 0;
}

int main(int argc, char* argv[])
{
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc == 3 && strcmp(argv[1], "message") == 0) {
        return PrintMessage((DWORD)strtoul(argv[2], NULL, 0));
    }
    if (argc == 3 && strcmp(argv[1], "version") == 0) {
        return PrintFileVersion(argv[2]);
    }
    fprintf(stderr, "usage: ostrel_wintool message CODE | version FILE\n");
    return 2;
}
