// The reader of dhcpcd's lease file, the raw DHCP reply.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "lease_store_support.h"

namespace {

using namespace std::string_literals;

const std::string kHeader = std::string(236, '\0') + "\x63\x82\x53\x63";  // up to DHCP's options

// What the reader makes of the files dhcpcd writes, of damaged ones, and of
// times at the ends of their range.
TEST(DhcpcdLeases, FileGivesItsFacts)
{
    std::string oddWins = DhcpcdMessage("10.0.0.5", "10.0.0.3", {}, 600);
    oddWins.insert(oddWins.size() - 1, "\x2c\x06\x0a\x00\x00\x08\x0a\x00", 8);
    oddWins.back() = '\x2c';  // it ends in an option's code, with no length after it
    const ReaderRow rows[] = {
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
    };
    ExpectReadsAs(rows);
}

TEST(DhcpcdLeases, RandomBytesStoreOnlyAddresses)
{
    for (const std::string& bytes : RandomInputs()) {
        ReadAs(Reader::kDhcpcdFile, kHeader + bytes, 1700000000);
    }
}

}  // namespace
