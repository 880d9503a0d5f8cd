// The dump loop over a channel that answers with the input's datagrams, one
// after another whatever was asked, then nothing (EAGAIN). Each datagram is
// a control byte, a 16-bit length and that many bytes. The control byte's
// low bit stamps each message header of the datagram with the sequence of
// the last request and the channel's port, so that recorded dumps answer
// any request; its next two bits pad the datagram with zeros past the
// loop's receive buffer or past its bound on datagram size; its high
// nibble is the sender's port (0, the kernel). Snapshots are taken while
// the kernel's datagrams last (four at most), on a clock that runs a
// second a reading.
#include <linux/netlink.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "dump_loop.h"
#include "fuzz_input.h"
#include "messages.h"

namespace {

constexpr uint32_t kPort = 4242;

struct Datagram {
    uint8_t* bytes;
    size_t size;
    size_t length;  // with the padding
    uint32_t sender;
    bool stamped;
};

class InputChannel : public NetlinkChannel {
   public:
    std::vector<Datagram> datagrams;
    size_t next = 0;
    uint32_t sequence = 0;

    uint32_t Port() const override
    {
        return kPort;
    }
    int Send(const uint8_t* request, size_t length) override
    {
        nlmsghdr header;
        if (length < sizeof(header)) {
            abort();
        }
        memcpy(&header, request, sizeof(header));
        if (header.nlmsg_len != length || (header.nlmsg_flags & NLM_F_DUMP) != NLM_F_DUMP) {
            abort();
        }
        sequence = header.nlmsg_seq;
        return 0;
    }
    int Receive(uint8_t* buffer, size_t capacity, bool peek, NetlinkDatagram* received) override
    {
        if (next == datagrams.size()) {
            return EAGAIN;
        }
        Datagram& datagram = datagrams[next];
        if (datagram.stamped) {
            Stamp(datagram);
        }
        size_t copied = std::min(capacity, datagram.size);
        if (copied > 0) {
            memcpy(buffer, datagram.bytes, copied);
        }
        if (std::min(capacity, datagram.length) > copied) {
            memset(buffer + copied, 0, std::min(capacity, datagram.length) - copied);
        }
        received->length = datagram.length;
        received->truncated = capacity < datagram.length;
        received->senderPort = datagram.sender;
        next += peek ? 0 : 1;
        return 0;
    }

   private:
    void Stamp(Datagram& datagram) const
    {
        for (size_t at = 0; at + sizeof(nlmsghdr) <= datagram.size;) {
            nlmsghdr header;
            memcpy(&header, datagram.bytes + at, sizeof(header));
            header.nlmsg_seq = sequence;
            header.nlmsg_pid = kPort;
            memcpy(datagram.bytes + at, &header, sizeof(header));
            if (header.nlmsg_len < sizeof(header) || header.nlmsg_len > datagram.size - at) {
                break;
            }
            at += NLMSG_ALIGN(header.nlmsg_len);
        }
    }
};

int64_t now = 0;

int64_t Clock()
{
    return now += 1000;
}

void Pause(int64_t milliseconds)
{
    if (milliseconds < 1 || milliseconds > kLongestDumpPause) {
        abort();
    }
}

// What each snapshot came to: the loop's answer and how many of each
// kind of fact it holds.
std::vector<std::vector<size_t>> TakeSnapshots(const std::vector<Datagram>& datagrams)
{
    InputChannel channel;
    channel.datagrams = datagrams;
    NetlinkDumper dumper;
    dumper.clock = Clock;
    dumper.pause = Pause;
    std::vector<std::vector<size_t>> outcomes;
    while (outcomes.size() < 4 &&
           std::any_of(channel.datagrams.begin() + static_cast<ptrdiff_t>(channel.next),
                       channel.datagrams.end(),
                       [](const Datagram& datagram) { return datagram.sender == 0; })) {
        NetSnapshot snapshot;
        int error = DumpSnapshot(channel, dumper, snapshot);
        if (dumper.bufferSize < 64 * 1024 || (error == 0 && NeedsNexthops(snapshot))) {
            abort();
        }
        outcomes.push_back({static_cast<size_t>(error), snapshot.links.size(),
                            snapshot.addresses.size(), snapshot.gateways.size(),
                            snapshot.nexthops.size()});
    }
    return outcomes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Each datagram in memory of its own length, where an over-read shows.
    std::vector<std::unique_ptr<uint8_t[]>> storage;
    std::vector<Datagram> datagrams;
    InputBytes input = {data, size};
    while (input.left > 0) {
        uint8_t control = input.Take<uint8_t>();
        std::string_view bytes = input.Bytes(input.Take<uint16_t>());
        storage.emplace_back(new uint8_t[bytes.size()]);
        memcpy(storage.back().get(), bytes.data(), bytes.size());
        const size_t padding[] = {0, 64 * 1024, 16 * 1024 * 1024 + 1, 0};
        datagrams.push_back({storage.back().get(), bytes.size(),
                             bytes.size() + padding[control >> 1 & 3],
                             static_cast<uint32_t>(control >> 4), (control & 1) != 0});
    }
    // Another process's datagrams change nothing, unless one is too long to
    // be read at all.
    std::vector<Datagram> kernels;
    bool unreadable = false;
    for (const Datagram& datagram : datagrams) {
        if (datagram.sender == 0) {
            kernels.push_back(datagram);
        }
        unreadable = unreadable || (datagram.sender != 0 && datagram.length > 16 * 1024 * 1024);
    }
    if (TakeSnapshots(datagrams) != TakeSnapshots(kernels) && !unreadable) {
        abort();
    }
    return 0;
}
