// dhcpcd's lease file: the DHCP reply as it came off the wire.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "lease_parsers.h"
#include "posix.h"

namespace {

constexpr size_t kBootpHeader = 236;
constexpr size_t kYourAddress = 16;  // yiaddr
constexpr char kMagicCookie[4] = {99, char(130), 83, 99};
constexpr uint8_t kOptionPad = 0;
constexpr uint8_t kOptionEnd = 255;
constexpr uint8_t kOptionWins = 44;
constexpr uint8_t kOptionLeaseTime = 51;
constexpr uint8_t kOptionServer = 54;

Ipv4Bytes AddressAt(std::string_view bytes)
{
    Ipv4Bytes address;
    memcpy(address.bytes, bytes.data(), sizeof address.bytes);
    return address;
}

}  // namespace

int ParseDhcpcdLease(std::string_view data, int64_t mtime, LeaseFacts* found)
{
    size_t at = kBootpHeader + sizeof kMagicCookie;
    if (data.size() < at ||
        memcmp(data.data() + kBootpHeader, kMagicCookie, sizeof kMagicCookie) != 0) {
        return EBADMSG;
    }
    LeaseFacts facts;
    std::string_view yours = data.substr(kYourAddress, 4);
    if (yours != std::string_view("\0\0\0\0", 4)) {
        facts.haveAddress = true;
        facts.address = AddressAt(yours);
    }
    // A long option may come split in several pieces that belong together.
    std::string server, wins, leaseTime;
    while (at < data.size() && uint8_t(data[at]) != kOptionEnd) {
        uint8_t code = uint8_t(data[at]);
        if (code == kOptionPad) {
            at++;
            continue;
        }
        if (data.size() - at < 2 || data.size() - at - 2 < uint8_t(data[at + 1])) {
            break;  // truncated: keep what came before
        }
        size_t length = uint8_t(data[at + 1]);
        std::string_view value = data.substr(at + 2, length);
        if (code == kOptionServer) {
            server += value;
        } else if (code == kOptionWins) {
            wins += value;
        } else if (code == kOptionLeaseTime) {
            leaseTime += value;
        }
        at += 2 + length;
    }
    if (server.size() == 4) {
        facts.haveServer = true;
        facts.server = AddressAt(server);
    }
    if (!wins.empty() && wins.size() % 4 == 0) {
        for (size_t i = 0; i < wins.size(); i += 4) {
            facts.wins.push_back(AddressAt(std::string_view(wins).substr(i)));
        }
    }
    std::optional<uint32_t> seconds;
    if (leaseTime.size() == 4) {
        seconds = ReadBig32(reinterpret_cast<const uint8_t*>(leaseTime.data()));
    }
    TimeDhcpcdLease(mtime, seconds, facts);
    *found = std::move(facts);
    return 0;
}

void TimeDhcpcdLease(int64_t mtime, std::optional<uint32_t> leaseTime, LeaseFacts& facts)
{
    if (mtime >= 0) {
        facts.obtainedKnown = true;
        facts.obtained = mtime;
    }
    if (leaseTime == UINT32_MAX) {
        facts.end = LeaseEnd::kNever;
    } else if (leaseTime && facts.obtainedKnown && mtime <= INT64_MAX - *leaseTime) {
        facts.end = LeaseEnd::kAt;
        facts.expires = mtime + *leaseTime;
    }
}
