// The Linux adapter query against the real kernel, and its result codes.
#include "adapter_query.h"

#include <gtest/gtest.h>
#include <linux/rtnetlink.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

TEST(AdapterQuery, KernelErrorsAsResultCodes)
{
    const struct {
        int error;
        DWORD code;
    } kCodes[] = {
        {0, ERROR_SUCCESS},
        {EPERM, ERROR_ACCESS_DENIED},
        {EACCES, ERROR_ACCESS_DENIED},
        {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
        {ENOBUFS, ERROR_NOT_ENOUGH_MEMORY},
        {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
        {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
        {EIO, ERROR_GEN_FAILURE},
        {EAFNOSUPPORT, ERROR_NOT_SUPPORTED},
        {EPROTONOSUPPORT, ERROR_NOT_SUPPORTED},
        {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
        {EBADMSG, ERROR_GEN_FAILURE},
        {EAGAIN, ERROR_GEN_FAILURE},
    };
    for (const auto& want : kCodes) {
        EXPECT_EQ(want.code, MapKernelError(want.error)) << want.error;
    }
}

TEST(AdapterQuery, ParametersAndOneSnapshotPerSizingRound)
{
    ULONG length = 5;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, Ostrel(nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, Ostrel(nullptr, &length));
    EXPECT_EQ(5u, length);
    std::vector<uint64_t> aligned(64 * 1024);
    length = static_cast<ULONG>(aligned.size() * 8 - 8);
    PIP_ADAPTER_INFO misaligned =
        reinterpret_cast<PIP_ADAPTER_INFO>(reinterpret_cast<uint8_t*>(aligned.data()) + 4);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, Ostrel(misaligned, &length));

    // A change between the two calls forces a second snapshot; allow for a
    // busy machine by trying a few rounds.
    bool reused = false;
    for (int round = 0; round < 5 && !reused; ++round) {
        unsigned long before = CountAdapterSnapshots();
        length = 0;
        ASSERT_EQ(ERROR_BUFFER_OVERFLOW, Ostrel(nullptr, &length));
        ASSERT_GE(length, sizeof(IP_ADAPTER_INFO));
        std::vector<uint64_t> storage((length + 7) / 8);
        DWORD result = Ostrel(reinterpret_cast<PIP_ADAPTER_INFO>(storage.data()), &length);
        ASSERT_TRUE(result == ERROR_SUCCESS || result == ERROR_BUFFER_OVERFLOW);
        if (result == ERROR_BUFFER_OVERFLOW) {
            // Release the held snapshot before the next round.
            ASSERT_EQ(ERROR_INVALID_PARAMETER, Ostrel(nullptr, nullptr));
            continue;
        }
        reused = CountAdapterSnapshots() == before + 1;
        const IP_ADAPTER_INFO* first = reinterpret_cast<PIP_ADAPTER_INFO>(storage.data());
        EXPECT_STREQ("lo", first->AdapterName);
    }
    EXPECT_TRUE(reused);

    // A finished round keeps nothing: the next one takes a fresh snapshot.
    unsigned long before = CountAdapterSnapshots();
    length = 0;
    ASSERT_EQ(ERROR_BUFFER_OVERFLOW, Ostrel(nullptr, &length));
    EXPECT_EQ(before + 1, CountAdapterSnapshots());
}

namespace {

// What the scripted kernel behind the adapter query holds.
std::vector<std::string> worldLinks;
bool offerWatch = true;
ScriptedChannel* openedWatch = nullptr;

int OpenScriptedChannels(QueryChannels& channels)
{
    std::unique_ptr<ScriptedChannel> dump(new ScriptedChannel);
    dump->respond = [](ScriptedChannel& self, DumpKind kind, uint32_t sequence) {
        self.queue.push_back({Reply(kind, sequence, worldLinks)});
    };
    channels.dump = std::move(dump);
    openedWatch = offerWatch ? new ScriptedChannel : nullptr;
    channels.watch.reset(openedWatch);
    return 0;
}

struct ScriptedQuery {
    ScriptedQuery() : before(SetQueryChannelOpener(OpenScriptedChannels))
    {
    }
    ~ScriptedQuery()
    {
        SetQueryChannelOpener(before);
    }
    QueryChannelOpener before;
};

}  // namespace

TEST(AdapterQuery, FreshSnapshotOnlyAfterAChangeSinceTheOverflowAnswer)
{
    ScriptedQuery scripted;
    struct Case {
        const char* name;
        bool watch;
        int events;  // on the watch between the calls: notifications, or errors in their place
        int error;
        bool fresh;
    };
    const Case cases[] = {
        {"quiet", true, 0, 0, false},
        {"a change", true, 2, 0, true},
        {"notifications lost", true, 1, ENOBUFS, true},
        {"watch broken", true, 1, EIO, true},
        {"no watch", false, 0, 0, true},
    };
    for (const Case& c : cases) {
        offerWatch = c.watch;
        worldLinks = {"fk0"};
        unsigned long snapshots = CountAdapterSnapshots();
        ULONG length = 0;
        ASSERT_EQ(ERROR_BUFFER_OVERFLOW, Ostrel(nullptr, &length)) << c.name;
        worldLinks.push_back("fk1");
        for (int event = 0; event < c.events; ++event) {
            openedWatch->queue.push_back({Reply(DumpKind::kLinks, 0, {"fk1"}), c.error});
        }
        ULONG given = length;
        std::vector<uint64_t> storage((length + 7) / 8);
        DWORD result = Ostrel(reinterpret_cast<PIP_ADAPTER_INFO>(storage.data()), &length);
        EXPECT_EQ(snapshots + (c.fresh ? 2 : 1), CountAdapterSnapshots()) << c.name;
        // Only a fresh snapshot holds the second link, which needs more room.
        EXPECT_EQ(c.fresh ? ERROR_BUFFER_OVERFLOW : ERROR_SUCCESS, result) << c.name;
        if (result == ERROR_BUFFER_OVERFLOW) {
            EXPECT_GT(length, given) << c.name;
            // The watch was drained whole: the next call needs no snapshot.
            storage.resize((length + 7) / 8);
            result = Ostrel(reinterpret_cast<PIP_ADAPTER_INFO>(storage.data()), &length);
            EXPECT_EQ(ERROR_SUCCESS, result) << c.name;
            EXPECT_EQ(snapshots + (c.watch ? 2 : 3), CountAdapterSnapshots()) << c.name;
        }
    }
}
