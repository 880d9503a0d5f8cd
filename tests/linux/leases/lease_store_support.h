// What the tests of the lease stores and their readers share: stores
// written below a scratch root and read back, a lease as one line, each
// reader on guarded bytes, a dhcpcd on its control socket.
#pragma once

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "descriptor_count.h"
#include "lease_support.h"
#include "leases.h"
#include "test_support.h"

using Leases = std::unordered_map<uint32_t, LeaseCandidates>;
const size_t kFileLimit = 1 << 20, kEntryLimit = 8192, kReadLimit = 128 << 20;  // not the constants

inline LeaseStoreFiles ListTree(const std::string& root)
{
    LeaseStoreFiles stores;
    EXPECT_EQ(ListLeaseStores(root, &stores), 0) << root;
    return stores;
}

inline Leases ReadTree(const std::string& root, const std::vector<LeaseInterface>& interfaces)
{
    Leases leases;
    DescriptorsKept kept;
    EXPECT_EQ(ReadLeases(ListTree(root), interfaces, &leases), 0) << root;
    return leases;
}

inline std::vector<std::string> Servers(const LeaseCandidates& candidates)
{
    std::vector<std::string> servers;
    for (const LeaseFacts& facts : candidates) {
        servers.push_back(ServerOf(facts));
    }
    return servers;
}

// A lease as one line: address, server, WINS servers and how it ends and
// since when.
inline std::string Describe(const LeaseFacts& facts)
{
    std::string wins;
    for (const std::string& server : WinsOf(facts)) {
        wins += (wins.empty() ? "" : ",") + server;
    }
    std::string times = facts.end == LeaseEnd::kNever ? "never"
                        : facts.end == LeaseEnd::kAt  ? "at " + std::to_string(facts.expires)
                        : facts.end == LeaseEnd::kWithAddress ? "with its address"
                                                              : "unknown";
    if (facts.obtainedKnown) {
        times += " from " + std::to_string(facts.obtained);
    }
    return AddressOf(facts) + " " + ServerOf(facts) + " " + wins + " " + times;
}

enum class Reader {
    kNetworkd,
    kState,
    kDhcpcdDump,
    kDhcpcdFile,
    kDhclient,
    kDhclientOfVc,
    kConnman
};

// What a reader finds in input, as the error's name or the lease (dhclient:
// each interface's, "-" for none). Whatever the input, a reader that finds
// no lease keeps nothing of it.
inline std::string ReadAs(Reader reader, const std::string& input, int64_t mtime = 0)
{
    GuardedBytes guarded(std::vector<uint8_t>(input.begin(), input.end()));
    std::string_view bytes(reinterpret_cast<char*>(guarded.data()), input.size());
    if (reader == Reader::kDhclient || reader == Reader::kDhclientOfVc) {
        auto parsed = ParseDhclientLeases(bytes, reader == Reader::kDhclient ? "" : "vc");
        std::map<std::string, LeaseFacts> sorted(parsed.begin(), parsed.end());
        std::string leases;
        for (const auto& [interface, facts] : sorted) {
            leases += (leases.empty() ? "" : "; ") + interface + "=" + Describe(facts);
        }
        return leases.empty() ? "-" : leases;
    }
    LeaseFacts facts;
    int error = reader == Reader::kNetworkd     ? ParseNetworkdLease(bytes, &facts)
                : reader == Reader::kState      ? ParseNetworkManagerState(bytes, &facts)
                : reader == Reader::kDhcpcdDump ? ParseDhcpcdDump(bytes, mtime, &facts)
                : reader == Reader::kConnman    ? ParseConnmanSettings(bytes, &facts)
                                                : ParseDhcpcdLease(bytes, mtime, &facts);
    EXPECT_TRUE(error == 0 || !(facts.haveAddress || facts.haveServer || !facts.wins.empty()));
    return error == ENOENT    ? "ENOENT"
           : error == EBADMSG ? "EBADMSG"
           : error != 0       ? std::to_string(error)
                              : Describe(facts);
}

// A reader's input, its file's time, and what the reader makes of them.
struct ReaderRow {
    Reader reader;
    std::string input;
    int64_t mtime;
    const char* facts;
};

template <size_t N>
void ExpectReadsAs(const ReaderRow (&rows)[N])
{
    for (const auto& row : rows) {
        EXPECT_EQ(ReadAs(row.reader, row.input, row.mtime), row.facts) << row.input;
    }
}

// The same inputs for every reader: random bytes, a quarter of them the
// readers' own punctuation.
inline std::vector<std::string> RandomInputs()
{
    std::vector<std::string> inputs;
    std::mt19937 random(11);
    for (int round = 0; round < 2000; round++) {
        std::string bytes(random() % 600, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random() % 4 == 0 ? "{}; \n=.,\"0"[random() % 10] : random());
        }
        inputs.push_back(bytes);
    }
    return inputs;
}

inline std::string DhclientBlock(const std::string& interface, const std::string& server)
{
    return "lease {\n  interface \"" + interface + "\";\n  option dhcp-server-identifier " +
           server + ";\n  option dhcp-lease-time 600;\n  expire epoch 1700000600;\n}\n";
}

// The raw DHCP reply dhcpcd keeps: yiaddr and options 54, 44 and 51.
inline std::string DhcpcdMessage(const std::string& address, const std::string& server,
                                 const std::vector<std::string>& wins, uint32_t seconds)
{
    auto put = [](std::string& bytes, const std::string& dotted) {
        bytes.append(reinterpret_cast<const char*>(Ip(dotted).bytes), 4);
    };
    std::string message(16, '\0');
    put(message, address);  // "" as 0.0.0.0
    message.resize(236, '\0');
    message += "\x63\x82\x53\x63";
    if (!server.empty()) {
        message += "\x36\x04";
        put(message, server);
    }
    if (!wins.empty()) {
        message += '\x2c';
        message += static_cast<char>(4 * wins.size());
        for (const std::string& one : wins) {
            put(message, one);
        }
    }
    message += "\x33\x04";
    for (int shift = 24; shift >= 0; shift -= 8) {
        message += static_cast<char>(seconds >> shift);
    }
    return message + "\xff";
}

// A dhcpcd stand-in on an unprivileged socket below a scratch root: it
// answers one request with reply, in two pieces, and records the request.
class FakeDhcpcd {
   public:
    FakeDhcpcd(const std::string& path, std::string reply, bool hangs = false)
    {
        listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof(address.sun_path) - 1);
        EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_EQ(listen(listener_, 1), 0);
        thread_ = std::thread([this, reply, hangs] {
            sigset_t all;  // the asker's signals are the asker's
            sigfillset(&all);
            pthread_sigmask(SIG_BLOCK, &all, nullptr);
            int fd = accept(listener_, nullptr, nullptr);
            char request[256];
            ssize_t got = read(fd, request, sizeof request);
            request_.assign(request, got > 0 ? static_cast<size_t>(got) : 0);
            size_t first = std::min<size_t>(reply.size(), 3);  // a count split in two
            EXPECT_EQ(write(fd, reply.data(), first), static_cast<ssize_t>(first));
            usleep(10000);
            EXPECT_EQ(write(fd, reply.data() + first, reply.size() - first),
                      static_cast<ssize_t>(reply.size() - first));
            while (hangs && read(fd, request, sizeof request) > 0) {
                // until the asker gives up
            }
            close(fd);
        });
    }
    ~FakeDhcpcd()
    {
        shutdown(listener_, SHUT_RDWR);  // no asker came: let the accept go
        thread_.join();
        close(listener_);
    }
    const std::string& request() const
    {
        return request_;
    }

   private:
    int listener_;
    std::thread thread_;
    std::string request_;
};

inline std::string Framed(const std::vector<std::string>& entries, size_t count)
{
    std::string reply(reinterpret_cast<const char*>(&count), sizeof count);
    for (const std::string& entry : entries) {
        size_t length = entry.size();
        reply.append(reinterpret_cast<const char*>(&length), sizeof length);
        reply += entry;
    }
    return reply;
}
