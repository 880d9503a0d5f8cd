#include "leases.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "descriptor_count.h"
#include "interface_names.h"
#include "lease_files.h"
#include "lease_support.h"
#include "posix.h"
#include "test_support.h"
#include "text_fields.h"

namespace {

using namespace std::string_literals;
using Leases = std::unordered_map<uint32_t, LeaseCandidates>;
const std::string kHeader = std::string(236, '\0') + "\x63\x82\x53\x63";  // up to DHCP's options
const size_t kFileLimit = 1 << 20, kEntryLimit = 8192, kReadLimit = 128 << 20;  // not the constants

LeaseStoreFiles ListTree(const std::string& root)
{
    LeaseStoreFiles stores;
    EXPECT_EQ(ListLeaseStores(root, &stores), 0) << root;
    return stores;
}

Leases ReadTree(const std::string& root, const std::vector<LeaseInterface>& interfaces)
{
    Leases leases;
    DescriptorsKept kept;
    EXPECT_EQ(ReadLeases(ListTree(root), interfaces, &leases), 0) << root;
    return leases;
}

// A copy of a fixture tree, every file written at 1700000000.
Leases ReadFixture(const std::string& tree, const std::vector<LeaseInterface>& interfaces)
{
    TempDir copy;
    std::string command = "cp -r '" + std::string(OSTREL_LEASE_FIXTURES) + "/" + tree + "/.' '" +
                          copy.path() + "' && find '" + copy.path() +
                          "' -type f -exec touch -d @1700000000 {} +";
    EXPECT_EQ(system(command.c_str()), 0);
    return ReadTree(copy.path(), interfaces);
}

std::vector<std::string> Servers(const LeaseCandidates& candidates)
{
    std::vector<std::string> servers;
    for (const LeaseFacts& facts : candidates) {
        servers.push_back(ServerOf(facts));
    }
    return servers;
}

// A date as dhclient writes it, read by the C library.
int64_t Utc(const char* date)
{
    tm fields = {};
    EXPECT_NE(strptime(date, "%Y/%m/%d %H:%M:%S", &fields), nullptr) << date;
    return timegm(&fields);
}

// A lease as one line: address, server, WINS servers and how it ends and
// since when.
std::string Describe(const LeaseFacts& facts)
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
std::string ReadAs(Reader reader, const std::string& input, int64_t mtime = 0)
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

std::string DhclientBlock(const std::string& interface, const std::string& server)
{
    return "lease {\n  interface \"" + interface + "\";\n  option dhcp-server-identifier " +
           server + ";\n  option dhcp-lease-time 600;\n  expire epoch 1700000600;\n}\n";
}

// The raw DHCP reply dhcpcd keeps: yiaddr and options 54, 44 and 51.
std::string DhcpcdMessage(const std::string& address, const std::string& server,
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

// Each reader against one table: what it makes of the entries real clients
// write, of damaged ones, and of times at the ends of their range.
TEST(LeaseReaders, EachReaderGivesItsFacts)
{
    const std::string bound =
        "reason=BOUND\0interface=dc0\0protocol=dhcp\0new_ip_address=10.93.0.57\0"
        "new_routers=10.93.0.1\0new_netbios_name_servers=10.93.0.8 10.93.0.9\0"
        "new_dhcp_server_identifier=10.93.0.1\0"s;
    // NetworkManager's runtime state as 1.42 writes it, whatever its backend.
    const std::string device =
        "[device]\nmanaged=true\nnext-server=10.93.0.1\n\n[dhcp4]\n"
        "dhcp4.dhcp_server_identifier=10.93.0.1\ndhcp4.ip_address=10.93.0.60\n";
    const std::string dhcp6 = "[dhcp6]\ndhcp6.x=1\n";
    const std::string wins = "dhcp4.netbios_name_servers=10.93.0.8 10.93.0.9\n";
    std::string oddWins = DhcpcdMessage("10.0.0.5", "10.0.0.3", {}, 600);
    oddWins.insert(oddWins.size() - 1, "\x2c\x06\x0a\x00\x00\x08\x0a\x00", 8);
    oddWins.back() = '\x2c';  // it ends in an option's code, with no length after it
    const std::string fixed = "lease { fixed-address 10.0.0.5; ";
    const struct {
        Reader reader;
        std::string input;
        int64_t mtime;
        const char* facts;
    } rows[] = {
        // systemd-networkd keeps only an infinite lifetime.
        {Reader::kNetworkd, "ADDRESS=\t10.0.0.5 \t\nLIFETIME=4294967295\n", 0, "10.0.0.5   never"},
        {Reader::kNetworkd, "ADDRESS=10.0.0.5\nLIFETIME= infinity\r\n", 0, "10.0.0.5   never"},
        {Reader::kNetworkd, "ADDRESS=10.0.0.5\nADDRESS\nLIFETIME=4294967294\n", 0,
         "10.0.0.5   unknown"},
        {Reader::kNetworkd,
         "ADDRESS=10.0.0.5\nSERVER_ADDRESS=" + std::string(300, '1') +
             "\nSERVER_ADDRESS=1.2.3.4\0\nLIFETIME=infinityx\n"s,
         0, "10.0.0.5   unknown"},
        // NetworkManager's dhcp4 section only; a list with one bad entry is dropped whole.
        {Reader::kState, device + "dhcp4.dhcp_lease_time=600\ndhcp4.expiry=600\n" + dhcp6, 0,
         "10.93.0.60 10.93.0.1  at 600 from 0"},
        {Reader::kState, device + "dhcp4.dhcp_lease_time=4294967295\n" + wins + dhcp6, 0,
         "10.93.0.60 10.93.0.1 10.93.0.8,10.93.0.9 never"},
        {Reader::kState, device + "dhcp4.expiry=1796716546\n" + dhcp6, 0,
         "10.93.0.60 10.93.0.1  at 1796716546"},
        {Reader::kState,
         device + "dhcp4.dhcp_lease_time=600\ndhcp4.expiry=1796716546\ndhcp4.dhcp_lease_time=\n" +
             "dhcp4.expiry=17967165460000000000000\n" + dhcp6,
         0, "10.93.0.60 10.93.0.1  unknown"},
        {Reader::kState, device + "dhcp4.netbios_name_servers=10.93.0.8 x\n", 0,
         "10.93.0.60 10.93.0.1  unknown"},
        {Reader::kState, "dhcp6.ip_address=10.0.0.5\n", 0, "ENOENT"},
        // ConnMan names the address of a DHCP service only, and keeps no server or times.
        {Reader::kConnman, "[s]\nIPv4.method = dhcp\nIPv4.DHCP.LastAddress=10.57.0.58\r\n", 0,
         "10.57.0.58   with its address"},
        {Reader::kConnman, "IPv4.method=manual\nIPv4.DHCP.LastAddress=10.57.0.58\n", 0, "ENOENT"},
        {Reader::kConnman, "IPv4.method=dhcp\nIPv6.DHCP.LastAddress=10.57.0.58\n", 0, "ENOENT"},
        {Reader::kConnman, "IPv4.DHCP.LastAddress=10.57.0.58\nIPv4.method=dhcpx\n", 0, "ENOENT"},
        {Reader::kState, device + "dhcp4.dhcp_lease_time=601\ndhcp4.expiry=600\n", 0, "ENOENT"},
        // The entries dhcpcd 9.4 sends for "-4 -U IF" over its unprivileged socket.
        {Reader::kDhcpcdDump, bound + "new_dhcp_lease_time=600", INT64_MAX - 600,
         "10.93.0.57 10.93.0.1 10.93.0.8,10.93.0.9 at 9223372036854775807 from "
         "9223372036854775207"},
        {Reader::kDhcpcdDump, bound + "new_dhcp_lease_time=4294967295", 0,
         "10.93.0.57 10.93.0.1 10.93.0.8,10.93.0.9 never from 0"},
        {Reader::kDhcpcdDump, bound + "new_dhcp_lease_time=600", -1,
         "10.93.0.57 10.93.0.1 10.93.0.8,10.93.0.9 unknown"},
        {Reader::kDhcpcdDump, "protocol=ipv4ll\0new_ip_address=169.254.1.1\0"s, 1, "ENOENT"},
        // dhcpcd's file: a header's exact size; padding, pieces, end mark, a piece cut short.
        {Reader::kDhcpcdFile, kHeader.substr(1), 1, "EBADMSG"},
        {Reader::kDhcpcdFile, kHeader + "\0\0\x36\4\xa\0\0\1\xff\0\x36\4\xa\0\0\2"s, 0,
         " 10.0.0.1  unknown from 0"},
        {Reader::kDhcpcdFile, kHeader + "\x2c\4\xa\0\0\x8\x2c\4\xa\0\0\x9\x2c\4\xa\0\0"s, 1,
         "  10.0.0.8,10.0.0.9 unknown from 1"},
        {Reader::kDhcpcdFile, kHeader + "\x33\4\0\0\xe\x10"s, INT64_MAX - 3600,
         "   at 9223372036854775807 from 9223372036854772207"},
        {Reader::kDhcpcdFile, kHeader, 1, "   unknown from 1"},
        {Reader::kDhcpcdFile, std::string(300, '\0'), 0, "EBADMSG"},  // no magic cookie
        {Reader::kDhcpcdFile, oddWins, 1, "10.0.0.5 10.0.0.3  at 601 from 1"},
        {Reader::kDhcpcdFile, DhcpcdMessage("", "", {}, 3600), INT64_MAX - 3599,
         "   unknown from 9223372036854772208"},
        {Reader::kDhcpcdFile, DhcpcdMessage("", "", {}, 3600), -1, "   unknown"},
        {Reader::kDhcpcdFile, DhcpcdMessage("10.0.0.5", "10.0.0.1", {}, UINT32_MAX), 1700000000,
         "10.0.0.5 10.0.0.1  never from 1700000000"},
        // dhclient's blocks as real clients end them: an infinite lease both
        // ways it is written, a released one, one whose start is unknown.
        {Reader::kDhclientOfVc,
         fixed + "option dhcp-lease-time 4294967295; renew 0 2094/12/26 01:36:11;"
                 " expire 5 2163/01/14 04:50:18; }",
         0, "vc=10.0.0.5   never from 1796682123"},
        {Reader::kDhclientOfVc, fixed + "renew never; expire never; }", 0, "vc=10.0.0.5   never"},
        {Reader::kDhclientOfVc,
         fixed +
             "x { y { z; } } option dhcp-server-identifier 10.0.0.1; expire 1 2026/12/07 22:21; }",
         0, "vc=10.0.0.5 10.0.0.1  unknown"},
        {Reader::kDhclientOfVc,
         fixed + "option dhcp-lease-time 600; renew 1 2026/12/07 22:21:55;"
                 " expire 1 2026/12/07 22:21:55; }",
         0, "vc=10.0.0.5   at 1796682115 from 1796681515"},
        // A start after the end is none; one at 1970 or at the end is kept.
        {Reader::kDhclient,
         "lease { interface \"a\"; renew epoch 9; option dhcp-renewal-time 1; expire epoch 7;"
         " option dhcp-lease-time x; } lease { interface \"b\"; option dhcp-lease-time 0; expire"
         " epoch 0; }",
         0, "a=   at 7; b=   at 0 from 0"},
        // A statement of 256 tokens is read, one of 257 dropped whole.
        {Reader::kDhclientOfVc, fixed + "fixed-address" + std::string(255, ',') + "; }", 0,
         "vc=   unknown"},
        {Reader::kDhclientOfVc,
         fixed + "fixed-address" + std::string(256, ',') + "; expire never; }", 0,
         "vc=10.0.0.5   never"},
        {Reader::kDhclientOfVc,
         "default-duid \"\\000\\001\";\n"
         "lease { interface \"other\"; option netbios-name-servers 10.0.0.2, 10.0.0.3;\n"
         "  option domain-name \"x\\\"; }\"; }\n",
         0, "vc=  10.0.0.2,10.0.0.3 unknown"},
        // Damaged dhclient blocks keep only what is whole.
        {Reader::kDhclient, "lease { interface \"eth0\"; option dhcp-lease-time 600", 0, "-"},
        {Reader::kDhclient, "lease { interface \"eth0; }", 0, "-"},
        {Reader::kDhclient, "} } lease { interface \"eth0\"; { { }", 0, "-"},
        {Reader::kDhclient, "lease lease { interface \"eth0\"; }", 0, "-"},
        {Reader::kDhclient,
         "lease { interface \"fifteen-chars-x\"; } lease { interface \"sixteen-chars-xx\"; }", 0,
         "fifteen-chars-x=   unknown"},
        {Reader::kDhclient,
         "lease { interface \"eth0\"; interface eth1; interface \"a\" \"b\"; fixed-address"
         " \"1.2.3.4\"; option dhcp-server-identifier 1.2.3.4 5.6.7.8; option dhcp-lease-time"
         " 4294967296; expire epoch 9223372036854775808; option netbios-name-servers"
         " \"1.2.3.4\", 5.6.7.8; }",
         0, "eth0=   unknown"},
        {Reader::kDhclient,
         "lease { interface \"eth0\"; option dhcp-lease-time 2000000000; expire epoch 5;"
         " option netbios-name-servers 1.2.3.4,; }",
         0, "eth0=   at 5"},
        {Reader::kDhclient,
         "lease { interface \"eth0\"; option dhcp-server-identifier 1.2.3.4; option"
         " dhcp-server-identifier; option; option netbios-name-servers 1.2.3.4 5.6.7.8 9.9.9.9; }",
         0, "eth0=   unknown"},
        {Reader::kDhclient,
         "failover { interface \"eth0\"; peer { } lease { interface \"eth0\"; option"
         " dhcp-server-identifier 1.2.3.4; } } interface \"eth0\"; }",
         0, "-"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ReadAs(row.reader, row.input, row.mtime), row.facts) << row.input;
    }
}

// Every reader against one table: what each interface of a fixture tree
// gets, its candidates' address, server, WINS and times ("-": no lease).
TEST(LeaseReaders, FixtureTreesGiveEachInterfaceItsFacts)
{
    const struct {
        const char* tree;
        const char* interface;
        const char* facts;
        const char* hardware = "";
    } rows[] = {
        {"networkd", "lo", "-"},
        {"networkd", "eth0", "192.168.10.57 192.168.10.1  unknown"},
        {"networkd", "wlan0", "10.0.3.15 10.0.3.2  unknown"},
        {"networkd", "x", "-"},
        {"networkd", "y", "10.0.5.9   unknown"},  // a leading zero: no server
        // dhclient: eth0's torn last block is not taken, eth1's start is from renew and its WINS
        // list with a bad entry dropped, eth2's is on February 30th, wlan0's file names it.
        {"dhclient", "eth0", "192.168.1.51 192.168.1.254  at 1708862400 from 1708819200"},
        {"dhclient", "eth1", "172.16.0.21 172.16.0.1  at 1709251800 from 1709251200"},
        {"dhclient", "eth10", "10.10.0.7 10.10.0.1  never"},
        {"dhclient", "eth2", "   unknown"},
        {"dhclient", "wlan0", "192.168.178.23 192.168.178.1  at 1700864000 from 1700000000"},
        {"dhclient", "eth3", "-"},
        {"dhcpcd", "eth0", "-"},
        {"dhcpcd", "eth1",
         "10.1.0.50 10.1.0.1 10.1.0.8,10.1.0.9 at 1700007200 from 1700000000"},  // not eth10's file
        {"dhcpcd", "eth10", "10.1.0.50 10.10.0.1  unknown from 1700000000"},
        {"dhcpcd", "eth0.100", "10.1.0.50 10.100.0.1  at 1700000300 from 1700000000"},
        {"dhcpcd", "eth2", "10.1.0.50   at 1700000060 from 1700000000"},  // truncated option
        {"dhcpcd", "eth3", "-"},
        {"dhcpcd", "eth4", "-"},
        {"nm-internal", "br-lan", "192.168.122.77   unknown"},
        {"nm-internal", "lan", "-"},
        {"nm-internal", "enp1s0", "-"},
        {"mixed", "eth0",
         "10.0.0.10 10.0.0.1  unknown; 10.0.0.20 10.0.0.2  unknown; 10.0.0.30 10.0.0.3  unknown "
         "from 1700000000"},
        {"mixed", "eth1",
         "10.1.1.20 10.1.1.2  unknown; 10.1.1.30 10.1.1.3  unknown from 1700000000"},
        {"mixed", "eth2", "10.2.2.30 10.2.2.3  unknown from 1700000000; 10.2.2.40   unknown"},
        {"mixed", "eth3", "10.3.3.40   unknown"},
        // ConnMan: a service by the hardware address its name carries, a VLAN's
        // (set by hand) too; an IPv6 address is not the IPv4 one; a top-level file is no service.
        {"connman", "eth0", "10.57.0.58   with its address", "0a1b2c3d4e5f"},
        {"connman", "eth0.64", "10.57.0.58   with its address", "0a1b2c3d4e5f"},
        {"connman", "wlan0", "192.168.7.23   with its address", "1a2b3c4d5e6f"},
        {"connman", "eth1", "-", "0a1b2c3d4e"},
        {"connman", "lo", "-"},
    };
    std::map<std::string, std::vector<LeaseInterface>> trees;
    for (const auto& row : rows) {
        trees[row.tree].push_back(
            {row.interface, uint32_t(trees[row.tree].size() + 1), row.hardware});
    }
    std::map<std::string, Leases> read;
    for (const auto& [tree, interfaces] : trees) {
        read[tree] = ReadFixture(tree, interfaces);
    }
    std::map<std::string, uint32_t> indexes;
    for (const auto& row : rows) {
        const Leases& leases = read[row.tree];
        uint32_t index = ++indexes[row.tree];
        std::string facts;
        for (const LeaseFacts& lease : leases.count(index) ? leases.at(index) : LeaseCandidates{}) {
            facts += (facts.empty() ? "" : "; ") + Describe(lease);
        }
        EXPECT_EQ(facts.empty() ? "-" : facts, row.facts) << row.tree << " " << row.interface;
    }
}

// Every day of 400 years and of the years at the ends of the range, as
// dhclient writes it, against the C library's calendar: each time field runs
// to one past its limit, each day to the day after its month's last.
TEST(DhclientLeases, EveryDayOfAnEraAgreesWithTimegm)
{
    const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int n = 0;
    for (int year = 1969; year <= 10000; year = year == 2370 ? 9998 : year + 1) {
        bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        for (int month = 1; month <= 12; month++) {
            int last = kDays[month - 1] + (month == 2 && leap);
            for (int day = 1; day <= last + 1; day++, n++) {
                int hour = n % 25, minute = n % 61, second = n % 62;
                char date[40];
                snprintf(date, sizeof date, "%d/%02d/%02d %02d:%02d:%02d", year, month, day, hour,
                         minute, second);
                auto facts = ParseDhclientLeases("lease { expire 0 "s + date + "; }", "v").at("v");
                bool valid = year >= 1970 && year <= 9999 && day <= last && hour < 24 &&
                             minute < 60 && second <= 60;
                int64_t want = valid ? Utc(date) : -1;
                ASSERT_EQ(facts.end == LeaseEnd::kAt ? facts.expires : -1, want) << date;
            }
        }
    }
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

std::string Framed(const std::vector<std::string>& entries, size_t count)
{
    std::string reply(reinterpret_cast<const char*>(&count), sizeof count);
    for (const std::string& entry : entries) {
        size_t length = entry.size();
        reply.append(reinterpret_cast<const char*>(&length), sizeof length);
        reply += entry;
    }
    return reply;
}

// The socket's answer is untrusted: counts and lengths are bounded, a
// silent or short reply ends at the deadline with what came complete.
TEST(DhcpcdLeases, ControlSocketRepliesAreBounded)
{
    static const char kEntry[] = "protocol=dhcp\0ip_address=10.0.0.5\0";
    const std::string entry(kEntry, sizeof kEntry - 1);
    struct Case {
        const char* name;
        const char* socket;
        std::string reply;
        bool hangs;
        int error;
        size_t entries;
        bool signalled = false;  // its waits cut short every millisecond
    } cases[] = {
        {"two states, signals", "eth0-4.unpriv.sock", Framed({entry, "x"}, 2), false, 0, 2, true},
        {"no lease", "eth0.unpriv.sock", Framed({}, 0), false, 0, 0},
        {"as many and as long entries as may come", "eth0-4.unpriv.sock",
         Framed({entry, std::string(64 * 1024, 'x'), "", "", "", "", "", ""}, 8), false, 0, 8},
        {"one entry too many", "eth0-4.unpriv.sock", Framed({entry}, 9), true, EBADMSG, 0},
        {"an entry a byte too long", "eth0-4.unpriv.sock",
         Framed({std::string(64 * 1024 + 1, 'x')}, 1).substr(0, 2 * sizeof(size_t)), true, EBADMSG,
         0},
        {"short entry, then silence", "eth0-4.unpriv.sock",
         Framed({entry}, 2) + Framed({}, 64) + "abc", true, ETIMEDOUT, 1},
        {"silence", "eth0-4.unpriv.sock", "", true, ETIMEDOUT, 0},
    };
    std::vector<std::string> entries;
    for (const Case& c : cases) {
        TempDir root;
        root.Write("run/dhcpcd/.keep", "");
        {
            DescriptorsKept kept;
            FakeDhcpcd dhcpcd(root.path() + "/run/dhcpcd/" + c.socket, c.reply, c.hangs);
            struct sigaction ignore = {};
            ignore.sa_handler = [](int) {};
            sigaction(SIGALRM, &ignore, nullptr);
            itimerval every = {{0, c.signalled ? 1000 : 0}, {0, c.signalled ? 1000 : 0}};
            setitimer(ITIMER_REAL, &every, nullptr);
            EXPECT_EQ(AskDhcpcdLease(root.path() + "/run/dhcpcd", "eth0", 300, &entries), c.error)
                << c.name;
            every = {};
            setitimer(ITIMER_REAL, &every, nullptr);
            EXPECT_EQ(dhcpcd.request(), std::string("dhcpcd\0-4\0-U\0eth0\0", 18)) << c.name;
        }
        EXPECT_EQ(entries.size(), c.entries) << c.name;
        if (!entries.empty()) {
            EXPECT_EQ(entries[0], entry) << c.name;
        }
    }
    // So deep a run directory that only the shared socket's name fits.
    TempDir deep;
    std::string runDir =
        deep.Write(std::string(88 - deep.path().size(), 'd') + "/x", "").substr(0, 89);
    {
        FakeDhcpcd shared(runDir + "/unpriv.sock", Framed({entry}, 1));
        EXPECT_EQ(AskDhcpcdLease(runDir, "eth0", 300, &entries), 0);
        EXPECT_EQ(entries.size(), 1u);
    }
    TempDir empty;
    EXPECT_EQ(AskDhcpcdLease(empty.path(), std::string(15, 'e'), 300, &entries), ENOENT);
    EXPECT_EQ(AskDhcpcdLease(empty.path(), std::string(16, 'e'), 300, &entries), EINVAL);
}

// Stores that record when a lease was obtained rank by that, the others by
// their file's time; equal times go to the file's time, then to the store
// order, then to the name. However the folders list them, the order is one.
TEST(LeaseSources, OneRankingHoweverTheFilesAreListed)
{
    TempDir root;
    // Each obtained 1700000000 (expire minus lease time), rewritten later.
    root.Write("var/lib/dhcp/dhclient.leases", DhclientBlock("eth0", "10.0.0.1"), 1700000700);
    root.Write("var/lib/dhcp/dhclient.eth0.leases", DhclientBlock("eth0", "10.0.0.4"), 1700000000);
    root.Write("var/lib/dhcp/dhclient.a.leases", DhclientBlock("eth0", "10.0.0.7"), 1700000000);
    root.Write("var/lib/dhcp/dhclient.b.leases", DhclientBlock("eth0", "10.0.0.8"), 1700000000);
    root.Write("var/lib/dhcp/dhclient.old.leases", DhclientBlock("eth0", "10.0.0.6"), -1);
    root.Write("run/systemd/netif/leases/1", "ADDRESS=10.0.0.5\nSERVER_ADDRESS=10.0.0.2\n",
               1700000100);
    root.Write("var/lib/dhcpcd/eth0.lease", DhcpcdMessage("10.0.0.5", "10.0.0.3", {}, 600),
               1700000300);
    root.Write("var/lib/NetworkManager/internal-x-eth0.lease", "ADDRESS=10.0.0.5\n", 1700000300);
    // NetworkManager's runtime state holds all its internal client's file
    // does and more: the file is left out where the state holds a lease.
    root.Write("run/NetworkManager/devices/1", "[device]\nmanaged=true\n");
    root.Write("run/NetworkManager/devices/2",
               "[dhcp4]\ndhcp4.ip_address=10.0.0.6\ndhcp4.dhcp_server_identifier=10.0.0.9\n");
    root.Write("var/lib/NetworkManager/internal-x-eth1.lease", "ADDRESS=10.0.0.6\n");
    // Files of no store, which would add servers if they were read.
    root.Write("run/systemd/netif/leases/lo", "ADDRESS=10.0.0.5\nSERVER_ADDRESS=10.0.0.1\n");
    root.Write("var/lib/dhcp/other.leases", DhclientBlock("eth0", "10.0.0.1"));
    root.Write("var/lib/NetworkManager/timestamps", "ADDRESS=10.0.0.5\n");
    root.Write("var/lib/NetworkManager/internal-x-eth0.conf", "ADDRESS=10.0.0.5\n");
    root.Write("var/lib/dhcpcd/eth0.lease6", DhcpcdMessage("10.0.0.5", "10.0.0.1", {}, 600));
    LeaseStoreFiles stores = ListTree(root.path());
    std::mt19937 random(5);
    for (int round = 0; round < 8; round++) {
        Leases leases;
        ASSERT_EQ(ReadLeases(stores, {{"eth0", 1}, {"eth1", 2}}, &leases), 0);
        EXPECT_EQ(Servers(leases.at(1)),
                  (std::vector<std::string>{"10.0.0.3", "", "10.0.0.2", "10.0.0.1", "10.0.0.4",
                                            "10.0.0.8", "10.0.0.7", "10.0.0.6"}));
        EXPECT_EQ(leases.at(1).front().written, 1700000300);  // the file's time, none before 1970
        EXPECT_EQ(leases.at(1).back().written, 0);
        EXPECT_EQ(Servers(leases.at(2)), std::vector<std::string>{"10.0.0.9"});
        std::shuffle(stores.dhclient.begin(), stores.dhclient.end(), random);
    }
}

// A file name gives its lease to the interface with the longest name it
// carries, a run that starts at the name's start or after a separator;
// NetworkManager's "dhclient-" and "internal-" are never part of that run.
TEST(LeaseSources, FileNameGoesToTheLongestInterfaceNameInIt)
{
    const struct {
        bool networkManager;
        const char* file;
        const char* interface;  // "": none
    } cases[] = {
        {true, "dhclient-11-eth0.lease", "eth0"},
        {true, "internal-11-eth0.lease", "eth0"},
        {false, "dhcpcd-eth0.lease", "eth0"},
        {false, "eth0-home.lease", "eth0"},
        {false, "veth0.lease", ""},  // eth0 inside a word
        {false, "eth0x.lease", ""},
        {true, "dhclient-11-eth0-x.lease", ""},  // anchored at the end
        {false, "eth1-eth0.lease", "eth0"},      // a tie goes to the interface listed first
        {false, "eth0-eth1.lease", "eth0"},
        {false, "t-11-eth0-eth1.lease", "t-11-eth0"},  // the longest, though listed later
    };
    // Runs that begin inside a prefix, a character too early or too late,
    // or take in the dot before "lease".
    const std::vector<LeaseInterface> interfaces = {
        {"eth0", 1},   {"t-11-eth0", 2}, {"l-11-eth0", 3}, {"-11-eth0", 4},
        {"1-eth0", 5}, {"eth1", 6},      {"eth0.", 7}};
    for (const auto& c : cases) {
        LeaseStoreFiles stores;
        (c.networkManager ? stores.networkManager : stores.dhcpcd).emplace_back(c.file);
        std::vector<OwnedFile> owned = AssignStoreFiles(stores, interfaces);
        std::string interface = owned.empty() ? "" : std::string(owned.front().interface);
        EXPECT_EQ(interface, c.interface) << c.file;
    }
}

TEST(LeaseSources, FilesAtAndPastTheSizeLimit)
{
    TempDir root;
    std::string atLimit;
    const std::string block = DhclientBlock("eth1", "10.0.0.1");
    while (atLimit.size() + block.size() <= kFileLimit) {
        atLimit += block;
    }
    atLimit.resize(kFileLimit, ' ');
    // The store's folder is a link root made, followed (another user's is not).
    const std::string folder = geteuid() == 0 ? "var/lib/dhcp.real/" : "var/lib/dhcp/";
    root.Write(folder + "dhclient.eth1.leases", atLimit);
    ASSERT_TRUE(geteuid() != 0 ||
                symlink("dhcp.real", (root.path() + "/var/lib/dhcp").c_str()) == 0);
    // Its last part starts inside a quoted name: the torn block is skipped.
    std::string huge = atLimit + DhclientBlock("eth0", "10.0.0.1") + "#" + std::string(20, '\n');
    root.Write(folder + "dhclient.leases", huge);
    Leases leases = ReadTree(root.path(), {{"eth0", 1}, {"eth1", 2}});
    ASSERT_EQ(leases.size(), 2u) << "the file at the limit, and the last part of the one past it";
    EXPECT_EQ(ServerOf(leases.at(2).front()), "10.0.0.1");
    EXPECT_EQ(ServerOf(leases.at(1).front()), "10.0.0.1");
    // Nothing before the first line that opens a block is kept, not a quote.
    EXPECT_EQ(SkipTornFirstBlock("e\"\nlease {}"), "lease {}");
    EXPECT_EQ(SkipTornFirstBlock("x;\nleases;\nlease\t{"), "lease\t{");
    uint64_t parsed = 0;  // a number at, and one past, its limit
    EXPECT_EQ(0, ParseDecimal("255", 255, &parsed));
    EXPECT_EQ(ERANGE, ParseDecimal("256", 255, &parsed));
}

// Only a regular file is read, and only whole: up to the size limit and
// what is left of the budget, or not at all.
TEST(LeaseSources, OnlyRegularFilesWithinTheLimitsAreRead)
{
    TempDir root;
    const size_t limit = kFileLimit;
    for (size_t size : {limit - 1, limit, limit + 1}) {
        ASSERT_EQ(truncate(root.Write(std::to_string(size), "").c_str(), off_t(size)), 0);
    }
    ASSERT_EQ(mkfifo((root.path() + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("1048575", (root.path() + "/link").c_str()), 0);
    root.Write("dir/x", "");
    const struct {
        std::string name;
        size_t budget;
        int error;
        size_t left;  // of the budget
    } rows[] = {{std::to_string(limit - 1), limit, 0, 1},
                {std::to_string(limit), limit, 0, 0},
                {std::to_string(limit + 1), limit * 2, EFBIG, limit * 2},
                {std::to_string(limit), limit - 1, ENOSPC, 0},
                {"dir/x", 0, ENOSPC, 0},  // empty, yet nothing is left to read
                // Said to be empty, then "ostrel_leases_t\n": a file that grows as it is read.
                {"../../proc/self/comm", 15, EFBIG, 0},
                {"../../proc/self/comm", 16, 0, 0},
                {"fifo", limit, ENXIO, limit},
                {"link", limit, ENXIO, limit},
                {"dir", limit, ENXIO, limit},
                {"absent", limit, ENOENT, limit}};
    Directory folder(opendir(root.path().c_str()));
    for (auto row : rows) {
        if (row.name == "../../proc/self/comm") {
            // The name is the loader's or an emulator's where one runs the test.
            std::string name;
            std::getline(std::ifstream("/proc/self/comm"), name);
            row.budget += name.size() + 1 - 16;
        }
        DescriptorsKept kept;
        ReadBudget budget{row.budget};
        LeaseFile file;
        EXPECT_EQ(ReadLeaseFile(folder.get(), row.name, budget, &file), row.error) << row.name;
        EXPECT_EQ(budget.bytesLeft, row.left) << row.name;
        EXPECT_TRUE(row.error != 0 || file.bytes.size() == row.budget - row.left) << row.name;
    }
}

// The one whole-file reader: a regular file no longer than the limit,
// never a cut text, and a read taken up again after a signal.
TEST(WholeFileReader, BoundedRegularFilesAndInterruptionsRetried)
{
    TempDir root;
    root.Write("four", "1234");
    ASSERT_EQ(mkfifo((root.path() + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("four", (root.path() + "/link").c_str()), 0);
    const struct {
        const char* name;
        size_t limit;
        int error;
    } rows[] = {{"four", 4, 0},     {"four", 3, EFBIG}, {"fifo", 4, ENXIO},
                {"link", 4, ENXIO}, {".", 4, ENXIO},    {"absent", 4, ENOENT}};
    Directory folder(opendir(root.path().c_str()));
    for (const auto& row : rows) {
        std::string bytes;
        EXPECT_EQ(row.error, ReadWholeFile(dirfd(folder.get()), row.name, row.limit, &bytes))
            << row.name;
        EXPECT_TRUE(row.error != 0 || bytes == "1234") << row.name;
    }
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    struct sigaction quiet = {}, before = {};
    quiet.sa_handler = [](int) {};  // no SA_RESTART: a blocked read fails with EINTR
    ASSERT_EQ(0, sigaction(SIGUSR1, &quiet, &before));
    pthread_t reader = pthread_self();
    std::thread writer([&] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            pthread_kill(reader, SIGUSR1);
        }
        EXPECT_EQ(2, write(ends[1], "ok", 2));
        close(ends[1]);
    });
    std::string bytes;
    EXPECT_EQ(0, ReadToEnd(ends[0], 4, &bytes));
    writer.join();
    EXPECT_EQ("ok", bytes);
    close(ends[0]);
    sigaction(SIGUSR1, &before, nullptr);
}

TEST(LeaseReaders, RandomBytesStoreOnlyAddresses)
{
    std::mt19937 random(11);
    for (int round = 0; round < 2000; round++) {
        std::string bytes(random() % 600, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random() % 4 == 0 ? "{}; \n=.,\"0"[random() % 10] : random());
        }
        ReadAs(Reader::kNetworkd, bytes);
        ReadAs(Reader::kDhclient, "lease {" + bytes);
        ReadAs(Reader::kDhcpcdFile, kHeader + bytes, 1700000000);
        ReadAs(Reader::kConnman, "IPv4.method=dhcp\n" + bytes);
    }
}

// ConnMan's service folders are opened without links and only where the
// store's owner made them; a name that is no folder holds no lease.
TEST(LeaseSources, ConnmanServicesOnlyInFoldersOfTheStoresOwner)
{
    TempDir root;
    const std::string store = "var/lib/connman/";
    const std::string settings = "IPv4.method=dhcp\nIPv4.DHCP.LastAddress=10.0.0.5\n";
    root.Write(store + "real/settings", settings);
    root.Write(store + "ethernet_0a0000000001_cable/settings", settings);
    root.Write(store + "ethernet_0a0000000002_cable", settings);
    ASSERT_EQ(symlink("real", (root.path() + "/" + store + "ethernet_0a0000000003_cable").c_str()),
              0);
    ASSERT_EQ(mkfifo((root.path() + "/" + store + "ethernet_0a0000000004_cable").c_str(), 0600), 0);
    root.Write(store + "ethernet_0a0000000005_cable/settings", settings);
    bool stranger = geteuid() == 0;  // only root can give a folder to another user
    ASSERT_TRUE(!stranger ||
                chown((root.path() + "/" + store + "ethernet_0a0000000005_cable").c_str(), 65534,
                      65534) == 0);
    std::vector<LeaseInterface> interfaces;
    for (uint32_t i = 1; i <= 5; i++) {
        interfaces.push_back({"e" + std::to_string(i), i, "0a000000000" + std::to_string(i)});
    }
    Leases leases = ReadTree(root.path(), interfaces);
    EXPECT_EQ(leases.count(1), 1u);
    EXPECT_EQ(leases.count(2) + leases.count(3) + leases.count(4), 0u);
    EXPECT_EQ(leases.count(5), stranger ? 0u : 1u);
    Directory folder(opendir((root.path() + "/" + store).c_str()));
    Directory inner;
    EXPECT_EQ(OpenLeaseFolder(folder.get(), "ethernet_0a0000000002_cable", &inner), ENXIO);
    EXPECT_EQ(OpenLeaseFolder(folder.get(), "ethernet_0a0000000003_cable", &inner), ENXIO);
    EXPECT_EQ(OpenLeaseFolder(folder.get(), "gone", &inner), ENOENT);
    EXPECT_FALSE(inner);
}

// Files a store holds for eth0: dhclient's, dhcpcd's and systemd-networkd's,
// each with its own server, the most recent first.
const char kEachStoresServer[] = "10.0.0.1 10.0.0.3 10.0.0.2";
void WriteEachStore(TempDir& root)
{
    root.Write("var/lib/dhcp/dhclient.leases", DhclientBlock("eth0", "10.0.0.1"), 1700000000);
    root.Write("var/lib/dhcpcd/eth0.lease", DhcpcdMessage("10.0.0.5", "10.0.0.3", {}, 600),
               1600000000);
    root.Write("run/systemd/netif/leases/1", "ADDRESS=10.0.0.5\nSERVER_ADDRESS=10.0.0.2\n",
               1500000000);
}

std::string ServersOfEth0(const std::string& root, int* error)
{
    LeaseStoreFiles stores;
    Leases leases;
    *error = ListLeaseStores(root, &stores);
    if (*error == 0 && !stores.empty()) {
        *error = ReadLeases(stores, {{"eth0", 1}}, &leases);
    }
    std::string servers;
    for (const std::string& server : Servers(leases[1])) {
        servers += (servers.empty() ? "" : " ") + server;
    }
    return servers;
}

// Leases that are there but cannot be read for want of descriptors fail
// the whole read, wherever in the stores (every one, or dhclient's alone,
// whose failure no later store's then hides) the descriptors run out, and
// leave none open; with enough, every store is read.
TEST(LeaseStoreFaults, RunningOutOfDescriptorsFailsTheRead)
{
    TempDir root, alone;
    WriteEachStore(root);
    alone.Write("var/lib/dhcp/dhclient.leases", DhclientBlock("eth0", "10.0.0.1"));
    rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    int lowest = dup(0);
    close(lowest);
    for (const auto& [tree, all] : {std::pair{&root, kEachStoresServer}, {&alone, "10.0.0.1"}}) {
        std::set<int> errors;
        for (int spare = 0; spare <= 8; spare++) {
            DescriptorsKept kept;
            rlimit low = {rlim_t(lowest + spare), before.rlim_max};
            ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
            int error = 0;
            std::string servers = ServersOfEth0(tree->path(), &error);
            setrlimit(RLIMIT_NOFILE, &before);
            EXPECT_TRUE(error == EMFILE || (error == 0 && servers == all)) << spare;
            EXPECT_TRUE(error == 0 || errors.count(0) == 0) << "more descriptors, less read";
            errors.insert(error);
        }
        EXPECT_EQ(errors, (std::set<int>{0, EMFILE})) << all;
    }
}

// For this thread, file modes hold as they do for an account below root.
struct ModesHold {
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2] = {};
    ModesHold()
    {
        syscall(SYS_capget, &header, caps);
        __user_cap_data_struct fewer[2] = {caps[0], caps[1]};
        fewer[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        syscall(SYS_capset, &header, fewer);
    }
    ~ModesHold()
    {
        syscall(SYS_capset, &header, caps);
    }
};

// What an account below root or a stuck service puts in the stores costs
// nothing more: a symlink to a root-only file, or a folder that is one, is
// not followed, no FIFO is opened, a folder or file not ours to read is
// passed over, a dhcpcd that answers tells the leases its file keeps from us, in its order,
// and one that never answers holds up the whole read once, however many ask it.
TEST(LeaseStoreFaults, OnlyRegularFilesAreOpenedAndSilenceIsWaitedForOnce)
{
    TempDir root;
    WriteEachStore(root);
    std::string secret = root.Write("secret/1", "ADDRESS=10.0.0.5\nSERVER_ADDRESS=10.0.0.9\n");
    std::string own = root.Write("run/systemd/netif/leases/11", "ADDRESS=10.0.0.5\n");
    ASSERT_EQ(symlink(secret.c_str(), (own + "2").c_str()), 0);
    ASSERT_EQ(mkfifo((own + "3").c_str(), 0600), 0);
    std::string devices = root.Write("run/NetworkManager/x", "");
    devices.replace(devices.size() - 1, 1, "devices");
    ASSERT_EQ(symlink(secret.substr(0, secret.size() - 2).c_str(), devices.c_str()), 0);
    EXPECT_TRUE(lchown(devices.c_str(), 65534, 65534) == 0 || geteuid() != 0);  // not root's
    std::string internal = root.Write("var/lib/NetworkManager/internal-x-a.lease", secret);
    ASSERT_EQ(chmod(internal.substr(0, internal.rfind('/')).c_str(), 0), 0);
    for (const char* name : {"e", "f", "eth0"}) {
        std::string file = "var/lib/dhcpcd/" + std::string(name) + ".lease";
        ASSERT_EQ(chmod(root.Write(file, "", 1700000000).c_str(), 0), 0);
    }
    int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, own.substr(0, own.rfind('/')).c_str(), IN_OPEN), 0);
    root.Write("run/dhcpcd/x", "");
    FakeDhcpcd silent(root.path() + "/run/dhcpcd/unpriv.sock", "", true);
    FakeDhcpcd tells(root.path() + "/run/dhcpcd/e-4.unpriv.sock",
                     Framed({"protocol=dhcp\0new_ip_address=10.0.0.5\0new_dhcp_lease_time=60"s,
                             "protocol=dhcp\0new_ip_address=10.0.0.6\0new_dhcp_lease_time=60"s},
                            2));
    ASSERT_EQ(system(("chmod 666 '" + root.path() + "'/run/dhcpcd/*").c_str()), 0);
    auto start = std::chrono::steady_clock::now();
    Leases leases = {{99, {}}};  // what an earlier read left
    {
        ModesHold modes;
        EXPECT_EQ(ReadLeases(ListTree(root.path()),
                             {{"a", 11}, {"b", 112}, {"c", 113}, {"e", 20}, {"f", 21}}, &leases),
                  0);
    }
    EXPECT_EQ(leases.size(), 2u);
    EXPECT_EQ(Describe(leases[20].at(0)), "10.0.0.5   at 1700000060 from 1700000000");
    EXPECT_EQ(Describe(leases[20].at(1)), "10.0.0.6   at 1700000060 from 1700000000");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    std::set<std::string> opened;
    alignas(inotify_event) char events[4096];
    for (ssize_t got = read(watch, events, sizeof events), at = 0; at < got;) {
        auto* event = reinterpret_cast<inotify_event*>(events + at);
        if (event->len > 0) {
            opened.insert(event->name);
        }
        at += ssize_t(sizeof *event + event->len);
    }
    close(watch);
    EXPECT_EQ(opened, (std::set<std::string>{"11"}));
}

// A folder that lists more entries than the bound and files that would
// take more than the read limit stop at their bounds.
TEST(LeaseStoreFaults, ListingAndReadingAreBounded)
{
    TempDir root;
    std::string folder = root.Write("var/lib/dhcpcd/0.lease", "");
    folder.erase(folder.rfind('/') + 1);
    for (size_t i = 1; i < kEntryLimit; i++) {
        std::ofstream(folder + std::to_string(i) + ".lease");
    }
    // With "." and "..", one entry past the bound.
    EXPECT_EQ(ListTree(root.path()).dhcpcd.size(), kEntryLimit - 2);
    ASSERT_EQ(system(("rm -r '" + folder + "'").c_str()), 0);

    const size_t files = kReadLimit / kFileLimit + 4;
    for (size_t i = 0; i < files; i++) {
        std::string path = root.Write("var/lib/dhcp/dhclient." + std::to_string(i) + ".leases",
                                      DhclientBlock("eth0", "10.0.0.1"));
        ASSERT_EQ(truncate(path.c_str(), kFileLimit), 0);
    }
    EXPECT_EQ(ReadTree(root.path(), {{"eth0", 1}}).at(1).size(), kReadLimit / kFileLimit);
}

// What a file name carries is matched against the interfaces that exist:
// thousands of names of a hundred pieces each cost no more than their
// length, and the one that names an interface still reaches it.
TEST(LeaseStoreFaults, ManyPiecesInManyNames)
{
    TempDir root;
    std::string dir = root.Write("var/lib/dhcpcd/a.b-c.wlan0-ssid.d.lease",
                                 DhcpcdMessage("10.0.0.5", "10.0.0.3", {}, 600));
    dir.erase(dir.rfind('/') + 1);
    std::mt19937 random(3);
    for (int file = 0; file < 2000; file++) {
        std::string name;
        for (int piece = 0; piece < 124; piece++) {
            name += static_cast<char>('a' + random() % 26);
            name += piece % 2 ? '-' : '.';
        }
        std::ofstream(dir + name + "x.lease");
    }
    std::vector<LeaseInterface> interfaces;
    for (uint32_t i = 0; i < 4000; i++) {
        interfaces.push_back({"v" + std::to_string(i), i + 10});
    }
    interfaces.push_back({"wlan0", 7});
    interfaces.push_back({"a", 8});  // a piece of every name, but shorter
    Leases leases = ReadTree(root.path(), interfaces);
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_EQ(Servers(leases.at(7)), std::vector<std::string>{"10.0.0.3"});
}

// Nothing the reader does needs a large stack: it runs whole on a thread
// given less than one 64 KiB block.
TEST(LeaseStoreFaults, ReadsOnASmallStack)
{
    TempDir root;
    root.Write("var/lib/dhcp/dhclient.leases", DhclientBlock("eth0", "10.0.0.1"));
    root.Write("var/lib/dhcpcd/eth0.lease", DhcpcdMessage("10.0.0.5", "10.0.0.3", {}, 600));
    static std::string path;
    path = root.path();
    EXPECT_EXIT(
        {
            pthread_attr_t attributes;
            pthread_attr_init(&attributes);
            pthread_attr_setstacksize(&attributes, 48 * 1024);
            pthread_t thread;
            static size_t found = 0;
            auto run = [](void*) -> void* {
                found = ReadTree(path, {{"eth0", 1}}).at(1).size();
                return nullptr;
            };
            if (pthread_create(&thread, &attributes, run, nullptr) != 0) {
                _exit(2);
            }
            pthread_join(thread, nullptr);
            _exit(found == 2 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
