#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "capture.h"
#include "driver.h"
#include "fake_adapters.h"
#include "fake_console.h"
#include "records.h"
#include "report.h"

namespace {

// A name that names no file, so the banner shows the fallback version.
const char kNoSuchFile[] = "/nonexistent-dir/Ostrel";

const std::string kBanner =
    "Zuvi Ostrel is a tool to dump IP_ADAPTER_INFO for all available NICs \n\n"
    "Version 0, 0, 0, 0 \n"
    "Zuvi Software, written by the Ostrel developers \n"
    "Homepage: https://zuvi.example/ostrel \n\n"
    "Usage:  Ostrel \n\n"
    "Hints:  - Zuvi Tool Ostrel provides additional info compared to \n"
    "          IPCONFIG /all command at a console \n\n\n";

const std::string kPrompt = "\nPress <Enter> to exit.\n";
// The first line prints the record's size: the 32-bit Windows layout, or the
// Linux build's own with 64-bit links.
const ULONG kRecordSize = sizeof(void*) == 4 ? 640 : 696;

const std::string kAbort = "\nAborting due to error on calling Ostrel()\n";

// The line of one query; the first says what its offer is.
std::string QueryLine(const std::string& resultText, ULONG offer = 0)
{
    return "Calling Ostrel() with OutBufLen = " + std::to_string(offer == 0 ? kRecordSize : offer) +
           (offer == 0 ? " (sizeof(IP_ADAPTER_INFO)): " : ": ") + resultText + "\n";
}

std::string Blocks(const std::vector<IP_ADAPTER_INFO>& records)
{
    return CaptureStdout([&] {
        for (const IP_ADAPTER_INFO& record : records) {
            DumpAdapterInfo(&record);
        }
    });
}

}  // namespace

TEST(RunOstrel, AsksAgainWhileTooSmallThenPrintsEveryRecordInChainOrderOrAborts)
{
    struct Row {
        const char* what;
        std::vector<FakeAnswer> answers;
        int records;
    };
    // A need that grows at every call: the 16th call is the last one made.
    std::vector<FakeAnswer> growing;
    for (ULONG i = 2; i <= 16; i++) {
        growing.push_back({ERROR_BUFFER_OVERFLOW, i * kRecordSize});
    }
    std::vector<FakeAnswer> settlesLast = growing;
    settlesLast.push_back({ERROR_SUCCESS, 0});
    growing.push_back({ERROR_BUFFER_OVERFLOW, 17 * kRecordSize});
    const Row rows[] = {
        {"first offer accepted", {{ERROR_SUCCESS, 0}}, 1},
        {"need grows 15 times", settlesLast, 16},
        {"need keeps growing", growing, 0},
        {"overflow, then success",
         {{ERROR_BUFFER_OVERFLOW, 3 * kRecordSize}, {ERROR_SUCCESS, 0}},
         3},
        {"need grows twice",
         {{ERROR_BUFFER_OVERFLOW, 2 * kRecordSize},
          {ERROR_BUFFER_OVERFLOW, 4 * kRecordSize},
          {ERROR_SUCCESS, 0}},
         4},
        {"refusal", {{ERROR_BUFFER_OVERFLOW, 2 * kRecordSize}, {ERROR_NOT_SUPPORTED, 0}}, 0},
    };
    for (const Row& row : rows) {
        // Copies of the records laid out in the tool's buffer, for the
        // report's blocks of them (pinned in the report's own test).
        std::vector<IP_ADAPTER_INFO> filled;
        ScriptFakeAdapters(row.answers, [&](IP_ADAPTER_INFO* buffer, ULONG) {
            FillRecords(buffer, row.records);
            filled.assign(buffer, buffer + row.records);
        });
        CapturedRun run = RunCaptured(kNoSuchFile);
        std::vector<ULONG> offers{kRecordSize};
        std::string want = kBanner + QueryLine(SystemText(row.answers[0].result));
        for (size_t i = 1; i < row.answers.size(); ++i) {
            offers.push_back(row.answers[i - 1].needed);
            want += QueryLine(SystemText(row.answers[i].result), offers.back());
        }
        bool success = row.records > 0;
        want += success ? Blocks(filled) : kAbort;
        EXPECT_EQ(success ? 0 : 1, run.status) << row.what;
        EXPECT_EQ(offers, FakeAdapterOffers()) << row.what;
        EXPECT_EQ(want + kPrompt, run.out) << row.what;
    }
}

TEST(RunOstrel, BufferThatCannotBeAllocatedAbortsAsNotEnoughMemory)
{
    if (OSTREL_TEST_EMULATOR[0] != '\0') {
        GTEST_SKIP() << OSTREL_TEST_EMULATOR " ignores RLIMIT_AS: the 4 GiB would be allocated";
    }
    const ULONG huge = 0xffffffff;
    ScriptFakeAdapters({{ERROR_BUFFER_OVERFLOW, huge}, {ERROR_SUCCESS, 0}});
    CapturedRun run = RunCapturedShortOfMemory(kNoSuchFile);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, kBanner + QueryLine(SystemText(ERROR_BUFFER_OVERFLOW)) +
                           QueryLine(SystemText(ERROR_NOT_ENOUGH_MEMORY), huge) + kAbort + kPrompt);
}

// A part of the report lost on the way fails the run, though the last
// flush, with standard output back in place, works.
TEST(RunOstrel, WriteThatFailedMidReportFailsTheRun)
{
    ScriptFakeAdapters({{ERROR_SUCCESS, 0}}, [](IP_ADAPTER_INFO*, ULONG) {
        int saved = dup(fileno(stdout));
        close(fileno(stdout));
        fflush(stdout);
        dup2(saved, fileno(stdout));
        close(saved);
    });
    CapturedRun run = RunCaptured(kNoSuchFile);
    clearerr(stdout);
    EXPECT_EQ(run.status, 1);
}

TEST(RunOstrel, PromptWaitsUnlessOnlyTheKeyboardCouldAnswerAnUnseenPrompt)
{
    struct Row {
        bool inputIsConsole;
        bool outputIsConsole;
        bool waits;
    };
    const Row rows[] = {
        {true, true, true},    // a console window
        {true, false, false},  // piped into a pager or redirected to a file
        {false, true, true},   // a key piped in, report on screen
        {false, false, true},  // a script on both ends
    };
    // A customer code (bit 29) has no system text on any platform: it is named.
    const std::string want = kBanner +
                             QueryLine("Result code 536914893 (0x2000abcd) has no system text.\n") +
                             kAbort + kPrompt;
    for (const Row& row : rows) {
        ScriptFakeAdapters({{0x2000abcd, 0}});
        ScriptFakeConsole(row.inputIsConsole, row.outputIsConsole);
        CapturedRun run = RunCaptured(kNoSuchFile);
        ScriptFakeConsole(false, false);
        SCOPED_TRACE(testing::Message() << "input console " << row.inputIsConsole
                                        << ", output console " << row.outputIsConsole);
        EXPECT_EQ(run.readInput, row.waits);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, want);
    }
}
