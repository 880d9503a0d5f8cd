#include "report.h"

#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "records.h"

namespace {

std::string Dump(const IP_ADAPTER_INFO* record)
{
    return CaptureStdout([&] { DumpAdapterInfo(record); });
}

std::string Between(const std::string& text, const std::string& from, const std::string& to)
{
    size_t start = text.find(from);
    size_t end = text.find(to, start);
    if (start == std::string::npos || end == std::string::npos) {
        return "<missing " + from + ">";
    }
    return text.substr(start, end - start);
}

}  // namespace

TEST(DumpAdapterInfo, WritesEveryMemberOfARichRecord)
{
    IP_ADAPTER_INFO records[2] = {};
    IP_ADDR_STRING extra[2] = {};
    FillRecords(records, 2);
    IP_ADAPTER_INFO* record = &records[0];
    record->ComboIndex = 0xffffffff;
    strcpy(record->Description, "veth");
    record->AddressLength = 6;
    const BYTE mac[6] = {0x00, 0x0c, 0x29, 0xab, 0xcd, 0xff};
    memcpy(record->Address, mac, 6);
    record->Type = 6;
    record->DhcpEnabled = 1;
    SetNode(&record->IpAddressList, "10.1.2.3", "255.255.255.0", 7);
    SetNode(&extra[0], "10.1.3.4", "255.255.0.0", 8);
    SetNode(&extra[1], "192.168.100.200", "255.255.255.255", 9);
    record->IpAddressList.Next = &extra[0];
    extra[0].Next = &extra[1];
    record->CurrentIpAddress = &record->IpAddressList;
    SetNode(&record->DhcpServer, "10.1.2.1", "255.255.255.255", 0);
    record->HaveWins = 1;
    SetNode(&record->PrimaryWinsServer, "10.9.9.9", "", 0);
    record->LeaseObtained = 951782400;
    record->LeaseExpires = 2147483647;

    std::string node1 = LinkText(&extra[0]);
    std::string node2 = LinkText(&extra[1]);
    std::string list =
        "   IP_ADDR_STRING: \n"
        "   Next:            " +
        node1 +
        " \n"
        "   IpAddress:       10.1.2.3 \n"
        "   IpMask:          255.255.255.0 \n"
        "   Context :        0x7 (7) \n"
        "   Next:            " +
        node2 +
        " \n"
        "   IpAddress:       10.1.3.4 \n"
        "   IpMask:          255.255.0.0 \n"
        "   Context :        0x8 (8) \n"
        "   Next:            0x00000000 (0) \n"
        "   IpAddress:       192.168.100.200 \n"
        "   IpMask:          255.255.255.255 \n"
        "   Context :        0x9 (9) \n";
    std::string expected =
        "IP_ADAPTER_INFO: \n"
        "Next:            " +
        LinkText(&records[1]) +
        " \n"
        "ComboIndex:      0xffffffff (4294967295) \n"
        "AdapterName:     eth0 \n"
        "Description:     veth \n"
        "AddressLength:   0x6 (6) \n"
        "Address:         0x000c29abcdff\n"
        "Index:           0x1 (1) \n"
        "Type:            0x6 (6) \n"
        "DhcpEnabled:     0x1 (1) \n"
        "CurrentIpAddress: \n" +
        list + "IpAddressList: \n" + list +
        "GatewayList: \n"
        "   IP_ADDR_STRING: \n"
        "   Next:            0x00000000 (0) \n"
        "   IpAddress:        \n"
        "   IpMask:           \n"
        "   Context :        0x0 (0) \n"
        "DhcpServer: \n"
        "   IP_ADDR_STRING: \n"
        "   Next:            0x00000000 (0) \n"
        "   IpAddress:       10.1.2.1 \n"
        "   IpMask:          255.255.255.255 \n"
        "   Context :        0x0 (0) \n"
        "HaveWins:        0x1 (1) \n"
        "PrimaryWinsServer: \n"
        "   IP_ADDR_STRING: \n"
        "   Next:            0x00000000 (0) \n"
        "   IpAddress:       10.9.9.9 \n"
        "   IpMask:           \n"
        "   Context :        0x0 (0) \n"
        "SecondaryWinsServer: \n"
        "   IP_ADDR_STRING: \n"
        "   Next:            0x00000000 (0) \n"
        "   IpAddress:        \n"
        "   IpMask:           \n"
        "   Context :        0x0 (0) \n"
        "LeaseObtained:   0x38bb0c00 (951782400) Tue Feb 29 00:00:00 2000\n"
        "LeaseExpires:    0x7fffffff (2147483647) Tue Jan 19 03:14:07 2038\n"
        "\n";
    EXPECT_EQ(Dump(record), expected);
}

TEST(DumpAdapterInfo, EdgesOfHardwareAddressLeaseTimesAndTexts)
{
    IP_ADAPTER_INFO record = {};
    EXPECT_EQ(Between(Dump(&record), "Address:", "Index:"), "Address:         0x\n");

    // A length past the field shows the eight bytes there are, no more;
    // negative lease times show their signed value and a date; texts with
    // no terminator stop at their fields; the last record of a chain links to
    // nothing; a null current address leaves only the list header.
    memset(&record, 'A', sizeof(record));
    record.Next = NULL;
    record.CurrentIpAddress = NULL;
    for (IP_ADDR_STRING* list : {&record.IpAddressList, &record.GatewayList, &record.DhcpServer,
                                 &record.PrimaryWinsServer, &record.SecondaryWinsServer}) {
        list->Next = NULL;
    }
    for (int i = 0; i < 8; i++) {
        record.Address[i] = (BYTE)(0xf8 + i);
    }
    record.AddressLength = 20;
    record.LeaseObtained = -1;
    record.LeaseExpires = INT32_MIN;
    std::string out = Dump(&record);
    EXPECT_EQ(out.substr(0, 54), "IP_ADAPTER_INFO: \nNext:            0x00000000 (0) \nCom");
    EXPECT_EQ(Between(out, "CurrentIpAddress", "IpAddressList"),
              "CurrentIpAddress: \n   IP_ADDR_STRING: \n");
    EXPECT_EQ(Between(out, "AddressLength:", "Index:"),
              "AddressLength:   0x14 (20) \nAddress:         0xf8f9fafbfcfdfeff\n");
    EXPECT_NE(out.find("LeaseObtained:   0xffffffff (-1) Wed Dec 31 23:59:59 1969\n"
                       "LeaseExpires:    0x80000000 (-2147483648) Fri Dec 13 20:45:52 1901\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(Between(out, "AdapterName:", "Description:"),
              "AdapterName:     " + std::string(sizeof(record.AdapterName), 'A') + " \n");
    EXPECT_EQ(Between(out, "Description:", "AddressLength:"),
              "Description:     " + std::string(sizeof(record.Description), 'A') + " \n");
    EXPECT_NE(out.find("   IpAddress:       AAAAAAAAAAAAAAAA \n"
                       "   IpMask:          AAAAAAAAAAAAAAAA \n"),
              std::string::npos);
}
