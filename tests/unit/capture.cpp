#include "capture.h"

#include <cstdio>

#include "driver.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

std::string CaptureStdout(const std::function<void()>& action)
{
    fflush(stdout);
    FILE* sink = tmpfile();
    int savedOut = dup(fileno(stdout));
    int savedIn = dup(fileno(stdin));
    FILE* input = tmpfile();
    fputs("\n", input);
    fflush(input);
    rewind(input);
    dup2(fileno(sink), fileno(stdout));
    dup2(fileno(input), fileno(stdin));
    clearerr(stdin);

    action();

    fflush(stdout);
    dup2(savedOut, fileno(stdout));
    dup2(savedIn, fileno(stdin));
    clearerr(stdin);
    close(savedOut);
    close(savedIn);
    fclose(input);

    std::string text;
    rewind(sink);
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), sink)) > 0) {
        text.append(chunk, got);
    }
    fclose(sink);
    return text;
}

CapturedRun RunCaptured(const char* invocationName)
{
    CapturedRun run{};
    run.out = CaptureStdout([&] {
        run.status = RunOstrel(invocationName);
        run.readInput = lseek(fileno(stdin), 0, SEEK_CUR) != 0;
    });
    return run;
}

std::string SystemText(unsigned long code)
{
    LPSTR text = NULL;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        NULL, (DWORD)code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, NULL);
    std::string result(text != NULL ? text : "", length);
    if (text != NULL) {
        LocalFree(text);
    }
    return result;
}
