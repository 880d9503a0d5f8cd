// dhcpcd's lease file: the DHCP reply as it came off the wire.
#include <cerrno>
#include <cstring>

#include "lease_parsers.h"

namespace {

constexpr size_t kBootpHeader = 236;
constexpr size_t kYourAddress = 16;  // yiaddr
constexpr uint8_t kMagicCookie[4] = {99, 130, 83, 99};
constexpr uint8_t kOptionPad = 0;
constexpr uint8_t kOptionEnd = 255;
constexpr uint8_t kOptionWins = 44;
constexpr uint8_t kOptionLeaseTime = 51;
constexpr uint8_t kOptionServer = 54;

Ipv4Bytes AddressAt(const uint8_t* bytes)
{
    Ipv4Bytes address;
    memcpy(address.bytes, bytes, sizeof address.bytes);
    return address;
}

}  // namespace

int ParseDhcpcdLease(const uint8_t* data, size_t size, int64_t mtime, LeaseFacts* found)
{
    size_t at = kBootpHeader + sizeof kMagicCookie;
    if (data == nullptr || size < at) {
        return EBADMSG;
    }
    for (size_t i = 0; i < sizeof kMagicCookie; i++) {
        if (data[kBootpHeader + i] != kMagicCookie[i]) {
            return EBADMSG;
        }
    }
    LeaseFacts facts;
    const uint8_t* yours = data + kYourAddress;
    if ((yours[0] | yours[1] | yours[2] | yours[3]) != 0) {
        facts.haveAddress = true;
        facts.address = AddressAt(yours);
    }
    // A long option may come split in several pieces that belong together.
    std::string server, wins, leaseTime;
    while (at < size && data[at] != kOptionEnd) {
        uint8_t code = data[at];
        if (code == kOptionPad) {
            at++;
            continue;
        }
        if (size - at < 2 || size - at - 2 < data[at + 1]) {
            break;  // truncated: keep what came before
        }
        const char* value = reinterpret_cast<const char*>(data + at + 2);
        size_t length = data[at + 1];
        if (code == kOptionServer) {
            server.append(value, length);
        } else if (code == kOptionWins) {
            wins.append(value, length);
        } else if (code == kOptionLeaseTime) {
            leaseTime.append(value, length);
        }
        at += 2 + length;
    }
    auto bytes = [](const std::string& text) {
        return reinterpret_cast<const uint8_t*>(text.data());
    };
    if (server.size() == 4) {
        facts.haveServer = true;
        facts.server = AddressAt(bytes(server));
    }
    if (!wins.empty() && wins.size() % 4 == 0) {
        for (size_t i = 0; i < wins.size(); i += 4) {
            facts.wins.push_back(AddressAt(bytes(wins) + i));
        }
    }
    if (mtime >= 0) {
        facts.obtainedKnown = true;
        facts.obtained = mtime;
    }
    if (leaseTime.size() == 4) {
        const uint8_t* b = bytes(leaseTime);
        uint32_t seconds = static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
                           static_cast<uint32_t>(b[2]) << 8 | b[3];
        if (seconds == UINT32_MAX) {
            facts.end = LeaseEnd::kNever;
        } else if (facts.obtainedKnown && mtime <= INT64_MAX - seconds) {
            facts.end = LeaseEnd::kAt;
            facts.expires = mtime + seconds;
        }
    }
    *found = std::move(facts);
    return 0;
}
