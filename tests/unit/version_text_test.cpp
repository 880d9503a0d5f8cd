#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "driver.h"
#include "fake_adapters.h"
#include "fake_version.h"

namespace {

const char kFileVersionPath[] = "\\StringFileInfo\\000004B0\\FileVersion";

class ReadOwnFileVersionTest : public ::testing::Test {
   protected:
    void SetUp() override
    {
        ResetFakeVersion();
    }
    void TearDown() override
    {
        ResetFakeVersion();
    }

    std::string Read(const std::string& name)
    {
        char text[64];
        ReadOwnFileVersion(name.c_str(), text, sizeof(text));
        return text;
    }

    // The single name the lookup asked about, or "" when it asked none.
    std::string NameAsked(const std::string& name)
    {
        ResetFakeVersion();
        EXPECT_EQ(Read(name), "0, 0, 0, 0");
        const std::vector<std::string>& asked = FakeVersionNamesAsked();
        EXPECT_LE(asked.size(), 1u);
        return asked.empty() ? "" : asked[0];
    }
};

TEST_F(ReadOwnFileVersionTest, AppendsTheSuffixUnlessTheNameEndsInItInAnyCase)
{
    EXPECT_EQ(NameAsked("Ostrel"), "Ostrel.exe");
    EXPECT_EQ(NameAsked("Ostrel.EXE"), "Ostrel.EXE");
    // Each of the four characters counts.
    EXPECT_EQ(NameAsked("Ostrel_exe"), "Ostrel_exe.exe");
    EXPECT_EQ(NameAsked("Ostrel.exf"), "Ostrel.exf.exe");
    EXPECT_EQ(NameAsked("C:\\Tools\\Ostrel.com"), "C:\\Tools\\Ostrel.com.exe");
    // Short names are never taken for the suffix.
    EXPECT_EQ(NameAsked("exe"), "exe.exe");
    EXPECT_EQ(NameAsked(".exe"), ".exe");
}

TEST_F(ReadOwnFileVersionTest, NamesThatCannotTakeTheSuffixWithinThePathLimitAreNotLookedUp)
{
    EXPECT_EQ(NameAsked(std::string(255, 'a')), std::string(255, 'a') + ".exe");
    EXPECT_EQ(NameAsked(std::string(256, 'a')), "");
    // With the suffix already in place the whole 259 characters fit.
    std::string full = std::string(255, 'a') + ".EXE";
    EXPECT_EQ(NameAsked(full), full);
    EXPECT_EQ(NameAsked(std::string(256, 'a') + ".exe"), "");
}

TEST_F(ReadOwnFileVersionTest, ReturnsTheScriptedValueFromTheFileVersionPath)
{
    ScriptFakeVersion({"3, 1, 4, 1", 0, false, false});
    EXPECT_EQ(Read("Ostrel"), "3, 1, 4, 1");
    EXPECT_EQ(FakeVersionPathsQueried(), std::vector<std::string>{kFileVersionPath});
    ScriptFakeVersion({"6\x1b[2J\nVersion \x9b", 0, false, false});
    EXPECT_EQ(Read("Ostrel"), "6\\x1b[2J\\x0aVersion \\x9b");
}

TEST_F(ReadOwnFileVersionTest, ValueIsBoundedByTheReportedLength)
{
    ScriptFakeVersion({"1, 2, 3, 4 and more", 10, false, false});
    EXPECT_EQ(Read("Ostrel"), "1, 2, 3, 4");
}

TEST_F(ReadOwnFileVersionTest, FailedReadOrQueryGivesTheFallback)
{
    ScriptFakeVersion({"3, 1, 4, 1", 0, true, false});
    EXPECT_EQ(Read("Ostrel"), "0, 0, 0, 0");
    EXPECT_TRUE(FakeVersionPathsQueried().empty());

    ResetFakeVersion();
    ScriptFakeVersion({"3, 1, 4, 1", 0, false, true});
    EXPECT_EQ(Read("Ostrel"), "0, 0, 0, 0");
}

TEST_F(ReadOwnFileVersionTest, BannerShowsTheRecordsFileVersion)
{
    // A long version is cut to the room the banner gives, 127 characters.
    ScriptFakeVersion({std::string(200, '7'), 0, false, false});
    ScriptFakeAdapters({{ERROR_NOT_SUPPORTED, 0}});
    CapturedRun run = RunCaptured("Ostrel");
    EXPECT_NE(run.out.find("\n\nVersion " + std::string(127, '7') + " \nZuvi Software"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(FakeVersionNamesAsked(), std::vector<std::string>{"Ostrel.exe"});
}

}  // namespace
