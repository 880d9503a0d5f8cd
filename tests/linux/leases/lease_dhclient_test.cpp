// The reader of dhclient's lease blocks.
#include <gtest/gtest.h>
#include <time.h>

#include <cstdio>
#include <string>

#include "lease_store_support.h"

namespace {

using namespace std::string_literals;

// A date as dhclient writes it, read by the C library.
int64_t Utc(const char* date)
{
    tm fields = {};
    EXPECT_NE(strptime(date, "%Y/%m/%d %H:%M:%S", &fields), nullptr) << date;
    return timegm(&fields);
}

// What the reader makes of the blocks dhclient writes, of damaged ones, and
// of times at the ends of their range.
TEST(DhclientLeases, BlocksGiveTheirFacts)
{
    const std::string fixed = "lease { fixed-address 10.0.0.5; ";
    const ReaderRow rows[] = {
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
    ExpectReadsAs(rows);
    // Nothing before the first line that opens a block is kept, not a quote.
    EXPECT_EQ(SkipTornFirstBlock("e\"\nlease {}"), "lease {}");
    EXPECT_EQ(SkipTornFirstBlock("x;\nleases;\nlease\t{"), "lease\t{");
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

TEST(DhclientLeases, RandomBytesStoreOnlyAddresses)
{
    for (const std::string& bytes : RandomInputs()) {
        ReadAs(Reader::kDhclient, "lease {" + bytes);
    }
}

}  // namespace
