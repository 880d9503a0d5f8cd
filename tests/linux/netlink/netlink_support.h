// What the tests of the kernel reader and its users share: snapshot pieces,
// netlink datagrams, and a scripted kernel that answers with them.
#pragma once

#include <linux/if_addr.h>
#include <linux/if_arp.h>
#include <linux/netlink.h>
#include <linux/nexthop.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "dump_loop.h"
#include "make_link.h"
#include "messages.h"

// qemu-user hands a big-endian guest the kernel's netlink replies with the
// attribute headers it knows turned round; those of link attributes newer
// than itself (IFLA_DPLL_PIN, on every link from Linux 6.7) stay in the
// host's order, and a reader that checks every length refuses the dump.
inline bool EmulatorLeavesHostOrder()
{
    return OSTREL_TEST_EMULATOR[0] != '\0' && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
}
#define OSTREL_HOST_ORDER_SKIP \
    OSTREL_TEST_EMULATOR " leaves the kernel's newer link attributes in the host's byte order"

// Each gateway as "index a.d priority", the first and last bytes of its
// address, then " unresolved" while it names an object.
inline std::vector<std::string> GatewayTexts(const std::vector<NetGateway>& gateways)
{
    std::vector<std::string> texts;
    for (const NetGateway& g : gateways) {
        texts.push_back(std::to_string(g.index) + " " + std::to_string(g.address.bytes[0]) + "." +
                        std::to_string(g.address.bytes[3]) + " " + std::to_string(g.priority) +
                        (g.nexthopId != 0 ? " unresolved" : ""));
    }
    return texts;
}

// Netlink datagrams, and a kernel on a script that answers with them.

constexpr uint32_t kSequence = 7;
constexpr uint32_t kPort = 4242;

// Appends netlink messages and attributes to one datagram.
class Datagram {
   public:
    void Begin(uint16_t type, uint16_t flags = NLM_F_MULTI, uint32_t sequence = kSequence,
               uint32_t port = kPort)
    {
        start_ = bytes_.size();
        nlmsghdr header = {0, type, flags, sequence, port};  // length, type, flags, sequence, port
        Put(&header, sizeof(header));
    }
    template <typename T>
    void Fixed(const T& value)
    {
        Put(&value, sizeof(value));
    }
    void Attribute(uint16_t type, const void* data, size_t size)
    {
        rtattr header = {static_cast<unsigned short>(RTA_LENGTH(size)), type};
        Put(&header, sizeof(header));
        Put(data, size);
    }
    void Text(uint16_t type, const std::string& text)
    {
        Attribute(type, text.c_str(), text.size() + 1);
    }
    void Word(uint16_t type, uint32_t value)
    {
        Attribute(type, &value, sizeof(value));
    }
    size_t BeginNest(uint16_t type)
    {
        size_t at = bytes_.size();
        Attribute(type, nullptr, 0);
        return at;
    }
    void EndNest(size_t at)
    {
        unsigned short size = static_cast<unsigned short>(bytes_.size() - at);
        memcpy(&bytes_[at], &size, sizeof(size));
    }
    void End()
    {
        uint32_t size = static_cast<uint32_t>(bytes_.size() - start_);
        memcpy(&bytes_[start_], &size, sizeof(size));
    }
    void Done(uint16_t flags = NLM_F_MULTI)
    {
        Begin(NLMSG_DONE, flags);
        Fixed(int32_t(0));
        End();
    }
    std::vector<uint8_t>& Bytes()
    {
        return bytes_;
    }
    const uint8_t* Message() const
    {
        return bytes_.data() + start_;
    }
    size_t MessageSize() const
    {
        return bytes_.size() - start_;
    }

   private:
    void Put(const void* data, size_t size)
    {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), bytes, bytes + size);
        bytes_.resize(NLMSG_ALIGN(bytes_.size()), 0);
    }
    std::vector<uint8_t> bytes_;
    size_t start_ = 0;
};

// The fixed header of an IPv4 default route of the main table.
inline rtmsg DefaultRoute()
{
    rtmsg route = {};
    route.rtm_family = AF_INET;
    route.rtm_table = RT_TABLE_MAIN;
    route.rtm_type = RTN_UNICAST;
    return route;
}

inline void AddLink(Datagram& d, int index, uint16_t type, const std::string& name,
                    const std::string& kind = "")
{
    d.Begin(RTM_NEWLINK);
    ifinfomsg info = {};
    info.ifi_index = index;
    info.ifi_type = type;
    d.Fixed(info);
    d.Text(IFLA_IFNAME, name);
    if (!kind.empty()) {
        size_t nest = d.BeginNest(IFLA_LINKINFO);
        d.Text(IFLA_INFO_KIND, kind);
        d.EndNest(nest);
    }
    d.End();
}

// One datagram waiting in a scripted channel.
struct Queued {
    std::vector<uint8_t> bytes;
    uint32_t sender = 0;  // 0: the kernel
    size_t claimed = 0;   // when set, the whole length, of which bytes is the start
};

// A kernel on a script: the test's responder answers each request into a
// queue that is read the way a socket reads, and every request is recorded.
class ScriptedChannel : public NetlinkChannel {
   public:
    std::function<void(ScriptedChannel&, DumpKind, uint32_t sequence)> respond;
    std::deque<Queued> queue;
    std::vector<DumpKind> requests;

    uint32_t Port() const override
    {
        return kPort;
    }
    int Send(const uint8_t* request, size_t length) override
    {
        // A loop that never gives up ends here instead of hanging the test.
        if (requests.size() >= 1000) {
            return ENOSPC;
        }
        nlmsghdr header = {};
        memcpy(&header, request, std::min(length, sizeof(header)));
        DumpKind kind = header.nlmsg_type == RTM_GETLINK      ? DumpKind::kLinks
                        : header.nlmsg_type == RTM_GETADDR    ? DumpKind::kAddresses
                        : header.nlmsg_type == RTM_GETNEXTHOP ? DumpKind::kNexthops
                                                              : DumpKind::kRoutes;
        requests.push_back(kind);
        if (respond) {
            respond(*this, kind, header.nlmsg_seq);
        }
        return 0;
    }
    int Receive(uint8_t* buffer, size_t capacity, bool peek, NetlinkDatagram* datagram) override
    {
        if (queue.empty()) {
            return EAGAIN;
        }
        Queued next = queue.front();
        if (!peek) {
            queue.pop_front();
        }
        datagram->length = next.claimed != 0 ? next.claimed : next.bytes.size();
        datagram->truncated = datagram->length > capacity;
        datagram->senderPort = next.sender;
        if (capacity > 0 && !next.bytes.empty()) {
            memcpy(buffer, next.bytes.data(), std::min(capacity, next.bytes.size()));
        }
        return 0;
    }
};

// Addresses every message of a datagram to one request and port.
inline void Stamp(std::vector<uint8_t>& bytes, uint32_t sequence, uint32_t port = kPort)
{
    for (size_t at = 0; at + sizeof(nlmsghdr) <= bytes.size();) {
        nlmsghdr header;
        memcpy(&header, &bytes[at], sizeof(header));
        header.nlmsg_seq = sequence;
        header.nlmsg_pid = port;
        memcpy(&bytes[at], &header, sizeof(header));
        at += NLMSG_ALIGN(header.nlmsg_len);
    }
}

// A whole reply of a kernel holding the given links and nothing else.
inline std::vector<uint8_t> Reply(DumpKind kind, uint32_t sequence,
                                  const std::vector<std::string>& links,
                                  uint16_t doneFlags = NLM_F_MULTI, uint32_t port = kPort)
{
    Datagram d;
    for (size_t i = 0; kind == DumpKind::kLinks && i < links.size(); ++i) {
        AddLink(d, static_cast<int>(i + 1), ARPHRD_ETHER, links[i]);
    }
    d.Done(doneFlags);
    Stamp(d.Bytes(), sequence, port);
    return d.Bytes();
}

// Reads a whole datagram as the dump reader does.
inline int Feed(DumpReader& reader, Datagram& d, NetSnapshot& snapshot)
{
    return ReadDumpDatagram(reader, d.Bytes().data(), d.Bytes().size(), snapshot);
}

// Per kind of dump: its messages' type, and an attribute that alone makes
// one of them an item of the snapshot.
inline constexpr uint16_t kTypes[] = {RTM_NEWLINK, RTM_NEWADDR, RTM_NEWROUTE, RTM_NEWNEXTHOP};
inline constexpr uint16_t kNeeded[] = {IFLA_IFNAME, IFA_ADDRESS, RTA_OIF, NHA_ID};

// Opens a message of the kind a dump reader of kind reads, with its fixed header.
inline void BeginMessage(Datagram& d, DumpKind kind)
{
    d.Begin(kTypes[static_cast<int>(kind)]);
    if (kind == DumpKind::kLinks) {
        d.Fixed(ifinfomsg{});
    } else if (kind == DumpKind::kRoutes) {
        d.Fixed(DefaultRoute());
    } else {
        d.Fixed(ifaddrmsg{AF_INET, 0, 0, 0, 0});  // an nhmsg too: as long, family first
    }
}
