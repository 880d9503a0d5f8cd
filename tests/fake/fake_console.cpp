#include "fake_console.h"

#include "platform.h"

static bool inputConsole = false;
static bool outputConsole = false;

void ScriptFakeConsole(bool inputIsConsole, bool outputIsConsole)
{
    inputConsole = inputIsConsole;
    outputConsole = outputIsConsole;
}

BOOL IsConsoleStream(FILE* stream)
{
    if (stream == stdin) {
        return inputConsole;
    }
    return stream == stdout && outputConsole;
}
