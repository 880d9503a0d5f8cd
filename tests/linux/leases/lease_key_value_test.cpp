// The KEY=VALUE readers: systemd-networkd, NetworkManager, ConnMan, dhcpcd's dump.
#include <gtest/gtest.h>

#include <string>

#include "lease_store_support.h"

namespace {

using namespace std::string_literals;

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
    const ReaderRow rows[] = {
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
    };
    ExpectReadsAs(rows);
}

TEST(LeaseReaders, RandomBytesStoreOnlyAddresses)
{
    for (const std::string& bytes : RandomInputs()) {
        ReadAs(Reader::kNetworkd, bytes);
        ReadAs(Reader::kConnman, "IPv4.method=dhcp\n" + bytes);
    }
}

}  // namespace
