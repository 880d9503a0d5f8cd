#include <cstdio>
#include <cstdlib>

#include "driver.h"
#include "report.h"

static void PrintBanner(const char* version)
{
    printf("Zuvi Ostrel is a tool to dump IP_ADAPTER_INFO for all available NICs \n\n");
    printf("Version %s \n", version);
    printf("Zuvi Software, written by the Ostrel developers \n");
    printf("Homepage: https://zuvi.example/ostrel \n\n");
    printf("Usage:  Ostrel \n\n");
    printf("Hints:  - Zuvi Tool Ostrel provides additional info compared to \n");
    printf("          IPCONFIG /all command at a console \n\n\n");
}

// The platform asks again for as long as its adapter list outgrows each
// answer; a list that never settles must still end the run.
static const int kMaxQueryCalls = 16;

// A buffer that could not be allocated is refused as the platform refuses
// one it cannot fill: the query is never asked to write into nothing.
static DWORD QueryAdapters(PIP_ADAPTER_INFO buffer, PULONG outBufLen)
{
    return buffer != NULL ? Ostrel(buffer, outBufLen) : ERROR_NOT_ENOUGH_MEMORY;
}

int RunOstrel(const char* invocationName)
{
    char version[128];
    ReadOwnFileVersion(invocationName, version, sizeof(version));
    PrintBanner(version);

    SetLastError(ERROR_SUCCESS);
    ULONG outBufLen = sizeof(IP_ADAPTER_INFO);
    PIP_ADAPTER_INFO buffer = (PIP_ADAPTER_INFO)malloc(outBufLen);
    printf("Calling Ostrel() with OutBufLen = %lu (sizeof(IP_ADAPTER_INFO)): ",
           (unsigned long)outBufLen);
    DWORD result = QueryAdapters(buffer, &outBufLen);
    PrintResultText(result);
    for (int calls = 1; result == ERROR_BUFFER_OVERFLOW && calls < kMaxQueryCalls; calls++) {
        free(buffer);
        buffer = (PIP_ADAPTER_INFO)malloc(outBufLen);
        printf("Calling Ostrel() with OutBufLen = %lu: ", (unsigned long)outBufLen);
        result = QueryAdapters(buffer, &outBufLen);
        PrintResultText(result);
    }

    int status = 0;
    if (result != ERROR_SUCCESS) {
        printf("\nAborting due to error on calling Ostrel()\n");
        status = 1;
    } else {
        for (const IP_ADAPTER_INFO* record = buffer; record != NULL; record = record->Next) {
            DumpAdapterInfo(record);
        }
    }
    free(buffer);

    printf("\nPress <Enter> to exit.\n");
    // The wait keeps a console window open for its reader. With the report
    // going to a pipe or file while the keyboard is standard input, the
    // prompt is not on screen and a pager on the same terminal would lose
    // the key, so there is no wait; a key piped in by a script is still read.
    // The report goes out before the wait: a reader at the other end of a
    // pipe or a container's log has it whole while the key is still to come.
    if (IsConsoleStream(stdout) || !IsConsoleStream(stdin)) {
        (void)fflush(stdout);
        (void)getchar();
    }

    // A report that never reached its reader must not end as a success.
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "Ostrel: the report could not be written to standard output\n");
        status = 1;
    }
    return status;
}
