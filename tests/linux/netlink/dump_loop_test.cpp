// The dump loop over a scripted kernel: redone dumps, foreign replies,
// whole datagrams, next-hop objects.
#include "dump_loop.h"

#include <gtest/gtest.h>
#include <linux/nexthop.h>

#include "netlink_support.h"

namespace {

std::vector<std::string> LinkNames(const NetSnapshot& snapshot)
{
    std::vector<std::string> names;
    for (const NetInterface& link : snapshot.links) {
        names.push_back(link.name);
    }
    return names;
}

const std::vector<std::string> kSettled = {"eth0"};

// A clock that moves only when the dump loop pauses or a scripted dump
// takes its time.
int64_t scriptedNow = 0;
std::vector<int64_t> pauses;

int64_t ScriptedClock()
{
    return scriptedNow;
}

void ScriptedPause(int64_t milliseconds)
{
    pauses.push_back(milliseconds);
    scriptedNow += milliseconds;
}

}  // namespace
TEST(NetlinkChannel, InterruptedDumpIsRedoneWholeAndBoundedInTime)
{
    struct Case {
        const char* name;
        int racedAttempts;  // attempts in which `where` carries NLM_F_DUMP_INTR
        DumpKind where;
        int64_t dumpTime;  // milliseconds each dump takes
        int error;
        size_t attempts;
        int64_t spent;  // milliseconds in all
    };
    const Case cases[] = {
        {"routes raced once", 1, DumpKind::kRoutes, 0, 0, 2, 1},
        {"links raced twice", 2, DumpKind::kLinks, 0, 0, 3, 3},
        // 41 dumps of 20 ms, pauses of 1, 2, 4, 8, 16 and then 32 ms.
        {"a busy host: forty races in a row", 40, DumpKind::kAddresses, 20, 0, 41, 1971},
        {"never settles", 1000, DumpKind::kAddresses, 0, EAGAIN, 162, 5000},
        {"never settles, each dump slow", 1000, DumpKind::kLinks, 2000, EAGAIN, 3, 6003},
    };
    for (const Case& c : cases) {
        ScriptedChannel channel;
        int attempt = 0;
        channel.respond = [&](ScriptedChannel& self, DumpKind kind, uint32_t sequence) {
            attempt += kind == DumpKind::kLinks;
            scriptedNow += kind == DumpKind::kLinks ? c.dumpTime : 0;
            bool raced = attempt <= c.racedAttempts;
            uint16_t flags = raced && kind == c.where ? NLM_F_MULTI | NLM_F_DUMP_INTR : NLM_F_MULTI;
            self.queue.push_back(
                {Reply(kind, sequence, raced ? std::vector<std::string>{"old", "gone"} : kSettled,
                       flags)});
        };
        NetlinkDumper dumper;
        dumper.clock = ScriptedClock;
        dumper.pause = ScriptedPause;
        const int64_t start = 1000000;
        scriptedNow = start;
        pauses.clear();
        NetSnapshot snapshot;
        EXPECT_EQ(c.error, DumpSnapshot(channel, dumper, snapshot)) << c.name;
        EXPECT_EQ(3 * c.attempts, channel.requests.size()) << c.name;
        EXPECT_EQ(c.attempts - 1, pauses.size()) << c.name;
        EXPECT_EQ(c.spent, scriptedNow - start) << c.name;
        // Each pause doubles the one before up to the longest; only the
        // last may be cut to what is left of the time.
        for (size_t i = 1; i + 1 < pauses.size(); ++i) {
            EXPECT_EQ(std::min<int64_t>(2 * pauses[i - 1], 32), pauses[i]) << c.name;
        }
        if (c.error == 0) {
            EXPECT_EQ(kSettled, LinkNames(snapshot)) << c.name;
        }
    }
}

// The first datagram of the link dump is each row's; a stray one is a whole
// dump of its own, DONE included, and the reply after it is the one meant.
TEST(NetlinkChannel, OnlyWholeDatagramsOfTheKernelsReplyAreRead)
{
    std::vector<std::string> many;
    for (int i = 0; i < 2000; ++i) {
        many.push_back("l" + std::to_string(i));
    }
    const std::vector<std::string> stray = {"stray"};
    struct Case {
        const char* name;
        const std::vector<std::string>& links;
        size_t claimed;  // 0: the datagram as built
        bool padded;     // made that long by a message no dump reads, else only said to be
        int error;
        int sequenceShift = 0;
        uint32_t port = kPort;
        uint32_t sender = 0;
        bool empty = false;
    };
    const size_t limit = size_t(16) << 20;
    const Case cases[] = {
        {"larger than the first buffer", many, 0, false, 0},
        {"as large as the limit", kSettled, limit, true, 0},
        // What fits of it is a whole dump; reading only that would pass.
        {"one byte past the limit", kSettled, limit + 1, false, EMSGSIZE},
        {"empty", kSettled, 0, false, EPIPE, 0, kPort, 0, true},  // would be waited past for ever
        {"an older request's", stray, 0, false, 0, -1},
        {"another socket's", stray, 0, false, 0, 0, kPort + 1},
        {"another process's", stray, 0, false, 0, 0, kPort, 4321},
        {"another process's empty one", stray, 0, false, 0, 0, kPort, 4321, true},
    };
    for (const Case& c : cases) {
        ScriptedChannel channel;
        channel.respond = [&](ScriptedChannel& self, DumpKind kind, uint32_t sequence) {
            if (kind != DumpKind::kLinks || self.requests.size() > 1) {
                self.queue.push_back({Reply(kind, sequence, kSettled)});
                return;
            }
            std::vector<uint8_t> bytes =
                Reply(kind, sequence + c.sequenceShift, c.links, NLM_F_MULTI, c.port);
            bytes.resize(c.empty ? 0 : bytes.size());
            if (c.padded) {
                nlmsghdr pad = {uint32_t(c.claimed - bytes.size()), NLMSG_NOOP, 0, sequence, kPort};
                bytes.insert(bytes.begin(), pad.nlmsg_len, 0);
                memcpy(bytes.data(), &pad, sizeof(pad));
            }
            self.queue.push_back({bytes, c.sender, c.padded ? 0 : c.claimed});
            // The rest of a dump cut short: the next one must not take it.
            self.queue.push_back({Reply(kind, sequence, {"late"})});
        };
        NetlinkDumper dumper;
        NetSnapshot snapshot;
        ASSERT_EQ(c.error, DumpSnapshot(channel, dumper, snapshot)) << c.name;
        if (c.error == 0) {
            EXPECT_EQ(&c.links == &stray ? std::vector<std::string>{"late"} : c.links,
                      LinkNames(snapshot))
                << c.name;
            continue;
        }
        EXPECT_LE(dumper.bufferSize, limit) << c.name;
        EXPECT_EQ(0, DumpSnapshot(channel, dumper, snapshot)) << c.name;
        EXPECT_EQ(kSettled, LinkNames(snapshot)) << c.name;
    }
}

namespace {

// A default route that names next-hop object id, with the hop spelled out
// beside it as the kernel does unless nexthop_compat_mode is off.
void AddObjectRoute(Datagram& d, uint32_t id, uint32_t priority, uint32_t expandedIndex = 0,
                    uint8_t expandedLast = 0)
{
    d.Begin(RTM_NEWROUTE);
    d.Fixed(DefaultRoute());
    d.Word(RTA_PRIORITY, priority);
    d.Word(RTA_NH_ID, id);
    if (expandedIndex != 0) {
        d.Word(RTA_OIF, expandedIndex);
        const uint8_t gateway[4] = {10, 0, 0, expandedLast};
        d.Attribute(RTA_GATEWAY, gateway, 4);
    }
    d.End();
}

// One next-hop object: members for a group, else a hop of the given family
// (AF_UNSPEC: a blackhole) on device index (0: none) whose gateway ends in
// gatewayLast (0: none).
void AddObject(Datagram& d, uint32_t id, uint8_t family, uint32_t index, uint8_t gatewayLast,
               const std::vector<uint32_t>& members = {})
{
    d.Begin(RTM_NEWNEXTHOP);
    nhmsg info = {};
    info.nh_family = members.empty() ? family : AF_UNSPEC;
    d.Fixed(info);
    d.Word(NHA_ID, id);
    if (!members.empty()) {
        std::vector<nexthop_grp> group;
        for (uint32_t member : members) {
            nexthop_grp entry = {};
            entry.id = member;
            group.push_back(entry);
        }
        d.Attribute(NHA_GROUP, group.data(), group.size() * sizeof(nexthop_grp));
    } else if (family == AF_UNSPEC) {
        d.Attribute(NHA_BLACKHOLE, nullptr, 0);
    } else {
        if (index != 0) {
            d.Word(NHA_OIF, index);
        }
        uint8_t gateway[16] = {10, 0, 0, gatewayLast};
        if (gatewayLast != 0) {
            d.Attribute(NHA_GATEWAY, gateway, family == AF_INET ? 4 : 16);
        }
    }
    d.End();
}

}  // namespace

// Only a host whose routes name objects pays for their dump.
TEST(NetlinkChannel, RoutesNamingOnlyAnObjectTakeItsHops)
{
    for (bool spelledOut : {false, true}) {
        ScriptedChannel channel;
        channel.respond = [&](ScriptedChannel& self, DumpKind kind, uint32_t sequence) {
            Datagram d;
            if (kind == DumpKind::kRoutes) {
                AddObjectRoute(d, 40, 400, 4, 40);  // spelled out: the object is not consulted
                for (uint32_t id : {10, 20, 25, 30, 50, 60, 70}) {
                    if (!spelledOut) {
                        AddObjectRoute(d, id, id * 10);  // no object 60 comes
                    }
                }
            } else if (kind == DumpKind::kNexthops) {
                AddObject(d, 10, AF_INET, 3, 1);
                AddObject(d, 25, 0, 0, 0, {21});  // its members come first in the list
                // A group in member order; an unknown member and a nested group give nothing.
                AddObject(d, 20, 0, 0, 0, {22, 99, 10, 21, 20});
                AddObject(d, 21, AF_INET, 3, 21);
                AddObject(d, 22, AF_INET, 5, 0);    // no gateway: the device itself
                AddObject(d, 30, AF_INET6, 6, 30);  // via IPv6
                AddObject(d, 40, AF_INET, 7, 77);
                AddObject(d, 50, AF_UNSPEC, 0, 0);
                AddObject(d, 70, AF_INET, 0, 70);  // no device
            }
            d.Done();
            Stamp(d.Bytes(), sequence);
            self.queue.push_back({d.Bytes()});
        };
        NetlinkDumper dumper;
        NetSnapshot snapshot;
        ASSERT_EQ(0, DumpSnapshot(channel, dumper, snapshot));
        std::vector<std::string> expected = {"4 10.40 400", "3 10.1 100",  "5 0.0 200",
                                             "3 10.1 200",  "3 10.21 200", "3 10.21 250"};
        expected.resize(spelledOut ? 1 : expected.size());
        EXPECT_EQ(expected, GatewayTexts(snapshot.gateways));
        EXPECT_EQ(spelledOut ? DumpKind::kRoutes : DumpKind::kNexthops, channel.requests.back());
    }
}
