// The Linux adapter query against the real kernel, and its result codes.
#include "adapter_query.h"

#include <gtest/gtest.h>
#include <linux/rtnetlink.h>

#include <cerrno>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "netlink_support.h"
#include "result_codes.h"

TEST(AdapterQuery, ErrorsAsResultCodes)
{
    // Each result code with the errno values that become it.
    const std::pair<DWORD, std::vector<int>> kCodes[] = {
        {ERROR_SUCCESS, {0}},
        {ERROR_FILE_NOT_FOUND, {ENOENT}},
        {ERROR_RESOURCE_DATA_NOT_FOUND, {ENODATA}},
        {ERROR_ACCESS_DENIED, {EPERM, EACCES}},
        {ERROR_NOT_ENOUGH_MEMORY, {ENOMEM, ENOBUFS}},
        {ERROR_TOO_MANY_OPEN_FILES, {EMFILE, ENFILE}},
        {ERROR_NOT_SUPPORTED, {EAFNOSUPPORT, EPROTONOSUPPORT, EOPNOTSUPP}},
        {ERROR_GEN_FAILURE, {EIO, EBADMSG, EAGAIN}},
    };
    for (const auto& [code, errors] : kCodes) {
        for (int error : errors) {
            EXPECT_EQ(code, ResultCodeFor(error)) << error;
        }
    }
    // A socket refused before any dump is the query's answer too.
    QueryChannelOpener before =
        SetQueryChannelOpener([](std::unique_ptr<NetlinkChannel>*) { return EACCES; });
    ULONG length = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED, Ostrel(nullptr, &length));
    // So is a dump that fails: a kernel that never answers.
    SetQueryChannelOpener([](std::unique_ptr<NetlinkChannel>* channel) {
        channel->reset(new ScriptedChannel);
        return 0;
    });
    EXPECT_EQ(ERROR_GEN_FAILURE, Ostrel(nullptr, &length));
    SetQueryChannelOpener(before);
}

TEST(AdapterQuery, ParametersAndARoundAgainstTheKernel)
{
    ULONG length = 5;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, Ostrel(nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, Ostrel(nullptr, &length));
    EXPECT_EQ(5u, length);
    std::vector<uint64_t> aligned(64 * 1024);
    length = static_cast<ULONG>(aligned.size() * 8 - 8);
    PIP_ADAPTER_INFO misaligned = reinterpret_cast<PIP_ADAPTER_INFO>(
        reinterpret_cast<uint8_t*>(aligned.data()) + alignof(IP_ADAPTER_INFO) / 2);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, Ostrel(misaligned, &length));

    length = 0;
    DWORD sized = Ostrel(nullptr, &length);
    if (sized == ERROR_GEN_FAILURE && EmulatorLeavesHostOrder()) {
        GTEST_SKIP() << OSTREL_HOST_ORDER_SKIP;
    }
    ASSERT_EQ(ERROR_BUFFER_OVERFLOW, sized);
    ASSERT_GE(length, sizeof(IP_ADAPTER_INFO));
    std::vector<uint64_t> storage((length + 7) / 8);
    ASSERT_EQ(ERROR_SUCCESS, Ostrel(reinterpret_cast<PIP_ADAPTER_INFO>(storage.data()), &length));
    EXPECT_STREQ("lo", reinterpret_cast<PIP_ADAPTER_INFO>(storage.data())->AdapterName);
}

namespace {

// What the scripted kernel behind the adapter query holds, and the dump
// requests all its channels were sent.
std::vector<std::string> worldLinks;
size_t dumpRequests = 0;

int OpenScriptedChannel(std::unique_ptr<NetlinkChannel>* channel)
{
    std::unique_ptr<ScriptedChannel> dump(new ScriptedChannel);
    dump->respond = [](ScriptedChannel& self, DumpKind kind, uint32_t sequence) {
        ++dumpRequests;
        self.queue.push_back({Reply(kind, sequence, worldLinks)});
    };
    *channel = std::move(dump);
    return 0;
}

}  // namespace

// The length an overflow answer asks for is the length of the facts the
// next call writes, however the kernel changed in between; a finished
// round keeps nothing.
TEST(AdapterQuery, OneSnapshotPerSizingRound)
{
    QueryChannelOpener before = SetQueryChannelOpener(OpenScriptedChannel);
    worldLinks = {"fk0"};
    dumpRequests = 0;
    ULONG length = 0;
    ASSERT_EQ(ERROR_BUFFER_OVERFLOW, Ostrel(nullptr, &length));
    EXPECT_EQ(3u, dumpRequests);
    worldLinks.push_back("fk1");
    ULONG given = length;
    std::vector<uint64_t> storage((length + 7) / 8);
    EXPECT_EQ(ERROR_SUCCESS, Ostrel(reinterpret_cast<PIP_ADAPTER_INFO>(storage.data()), &length));
    EXPECT_EQ(3u, dumpRequests);
    EXPECT_EQ(nullptr, reinterpret_cast<PIP_ADAPTER_INFO>(storage.data())->Next);

    EXPECT_EQ(ERROR_BUFFER_OVERFLOW,
              Ostrel(reinterpret_cast<PIP_ADAPTER_INFO>(storage.data()), &length));
    EXPECT_EQ(6u, dumpRequests);
    EXPECT_GT(length, given);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, Ostrel(nullptr, nullptr));  // ends the round
    SetQueryChannelOpener(before);
}
