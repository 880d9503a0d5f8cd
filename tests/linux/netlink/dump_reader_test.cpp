// The dump reader on hand-built datagrams.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "messages.h"
#include "netlink_support.h"

// A message is read by the dump of its type alone, whatever its body. Its
// fixed header alone holds no attribute, which is no damage; a byte less
// is, as a length short of a netlink header or past the datagram, or a
// datagram cut inside a header.
TEST(NetlinkDump, MessagesReadByTypeAndWholeOnly)
{
    enum { kHeaderAlone = 4, kFixedCut, kShortLength, kLongLength, kCutHeader, kVariants };
    for (int kind = 0; kind < 4; ++kind) {
        for (int variant = 0; variant < kVariants; ++variant) {
            Datagram d;
            BeginMessage(d, static_cast<DumpKind>(kind));
            if (variant < kHeaderAlone) {
                d.Word(kNeeded[kind], 1);
            }
            d.End();
            nlmsghdr* header = reinterpret_cast<nlmsghdr*>(d.Bytes().data());
            size_t length = d.Bytes().size();
            if (variant < kHeaderAlone) {
                header->nlmsg_type = kTypes[variant];
            } else if (variant == kFixedCut) {
                header->nlmsg_len = --length;
            } else if (variant == kShortLength) {
                header->nlmsg_len = sizeof(nlmsghdr) - 1;
            } else if (variant == kLongLength) {
                header->nlmsg_len = length + 1;
            } else if (variant == kCutHeader) {
                length = 1;
            }
            DumpReader reader{static_cast<DumpKind>(kind), kSequence, kPort};
            NetSnapshot s;
            SCOPED_TRACE("kind " + std::to_string(kind) + ", variant " + std::to_string(variant));
            EXPECT_EQ(variant > kHeaderAlone ? EBADMSG : 0,
                      ReadDumpDatagram(reader, d.Bytes().data(), length, s));
            EXPECT_EQ(variant == kind || (variant == kHeaderAlone && kind == 0),
                      s.links.size() + s.addresses.size() + s.gateways.size() + s.nexthops.size());
        }
    }
}

TEST(NetlinkDump, AnswersMeaningNoneEndTheDumpEmpty)
{
    // A fresh namespace has no main table to filter routes on; a kernel
    // without IPv4 refuses the family. Anything else is still a failure.
    // An end or a refusal without its whole code is malformed, and an
    // acknowledgement ends nothing.
    struct Case {
        DumpKind kind;
        uint16_t type;
        int code;
        int error;             // 0: read as an empty dump
        size_t codeBytes = 4;  // what the message holds of the code
    };
    const Case cases[] = {
        {DumpKind::kRoutes, NLMSG_DONE, -ENOENT, 0},
        {DumpKind::kRoutes, NLMSG_ERROR, -EOPNOTSUPP, 0},
        {DumpKind::kAddresses, NLMSG_DONE, -EAFNOSUPPORT, 0},
        {DumpKind::kAddresses, NLMSG_DONE, -ENOENT, ENOENT},
        {DumpKind::kLinks, NLMSG_DONE, -EOPNOTSUPP, EOPNOTSUPP},
        {DumpKind::kRoutes, NLMSG_DONE, -EPERM, EPERM},
        {DumpKind::kRoutes, NLMSG_ERROR, ENOENT, EPROTO},  // a positive code is no errno
        {DumpKind::kRoutes, NLMSG_ERROR, -4095, 4095},     // the last errno
        {DumpKind::kRoutes, NLMSG_ERROR, -4096, EPROTO},
        {DumpKind::kRoutes, NLMSG_ERROR, 0, 0},
        {DumpKind::kLinks, NLMSG_DONE, 0, EBADMSG, 0},
        {DumpKind::kLinks, NLMSG_DONE, 0, EBADMSG, 3},
        {DumpKind::kLinks, NLMSG_ERROR, 0, EBADMSG, 0},
        {DumpKind::kLinks, NLMSG_ERROR, -EPERM, EBADMSG, 3},
    };
    for (const Case& c : cases) {
        Datagram d;
        d.Begin(c.type);
        d.Fixed(int32_t(c.code));
        d.End();
        d.Bytes().resize(d.Bytes().size() - 4 + c.codeBytes);
        reinterpret_cast<nlmsghdr*>(d.Bytes().data())->nlmsg_len = d.Bytes().size();
        DumpReader reader{c.kind, kSequence, kPort};
        NetSnapshot snapshot;
        EXPECT_EQ(c.error, Feed(reader, d, snapshot)) << c.type << " " << c.code;
        EXPECT_EQ((c.type == NLMSG_DONE && c.codeBytes == 4) || (c.error == 0 && c.code != 0),
                  reader.done)
            << c.type << " " << c.code << " " << c.codeBytes;
    }
}

TEST(NetlinkDump, ReadsToDoneAndNotesInterruption)
{
    // The datagram ends two bytes short of alignment, and what the buffer
    // holds past it is no message of it.
    Datagram d;
    AddLink(d, 2, ARPHRD_ETHER, "stale");
    reinterpret_cast<nlmsghdr*>(d.Bytes().data())->nlmsg_len -= 2;
    const size_t length = d.Bytes().size() - 2;
    AddLink(d, 5, ARPHRD_ETHER, "beyond");
    Datagram second;
    AddLink(second, 3, ARPHRD_ETHER, "eth0");
    second.Done(NLM_F_MULTI | NLM_F_DUMP_INTR);
    AddLink(second, 4, ARPHRD_ETHER, "past");  // after the end: not read

    DumpReader reader{DumpKind::kLinks, kSequence, kPort};
    NetSnapshot snapshot;
    ASSERT_EQ(0, ReadDumpDatagram(reader, d.Bytes().data(), length, snapshot));
    EXPECT_FALSE(reader.done || reader.interrupted);
    ASSERT_EQ(0, Feed(reader, second, snapshot));
    EXPECT_TRUE(reader.done && reader.interrupted);
    ASSERT_EQ(2u, snapshot.links.size());
    EXPECT_STREQ("eth0", snapshot.links[1].name);
}
