#include "capture.h"

#include <cstdio>

#include "driver.h"

#ifdef _WIN32
#include <io.h>
#else
#include <sys/resource.h>
#include <sys/wait.h>
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

#ifdef _WIN32
CapturedRun RunCapturedShortOfMemory(const char* invocationName)
{
    return RunCaptured(invocationName);
}
#else
// A refused allocation comes back as a null pointer under the sanitizer too.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}

CapturedRun RunCapturedShortOfMemory(const char* invocationName)
{
    // The child shares the captured streams; it ends with the run's status.
    CapturedRun run{"", -1, false};
    run.out = CaptureStdout([&] {
        pid_t child = fork();
        if (child == 0) {
            unsigned long pages = 0;
            FILE* statm = fopen("/proc/self/statm", "r");
            if (statm == NULL || fscanf(statm, "%lu", &pages) != 1) {
                _exit(2);
            }
            fclose(statm);
            rlimit cap;
            cap.rlim_cur = cap.rlim_max = pages * (rlim_t)sysconf(_SC_PAGESIZE) + (512 << 20);
            setrlimit(RLIMIT_AS, &cap);
            _exit(RunOstrel(invocationName));
        }
        int waited = 0;
        if (child > 0 && waitpid(child, &waited, 0) == child && WIFEXITED(waited)) {
            run.status = WEXITSTATUS(waited);
        }
    });
    return run;
}
#endif
