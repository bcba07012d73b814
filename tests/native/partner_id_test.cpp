// The partner id rule applied to the program's own path.
#include <gtest/gtest.h>

#include <string>

#include "app/PartnerId.h"

namespace {

CString Id(const char* path)
{
    return PartnerIdFromModulePath(path);
}

TEST(PartnerId, ComesFromTheTextBetweenTheFirstUnderscoreAndTheNextDot)
{
    EXPECT_EQ(Id("C:\\Downloads\\Setup_nv01.exe"), "nv01");
    EXPECT_EQ(Id("C:\\Downloads\\Setup_a_b.exe"), "a_b");      // only the first "_" counts
    EXPECT_EQ(Id("C:\\Downloads\\Setup_ab.c.exe"), "ab");      // the first "." after it ends it
}

TEST(PartnerId, DefaultsToMelvoraWithoutUnderscoreInTheFileName)
{
    EXPECT_EQ(Id("C:\\Downloads\\Setup.exe"), "melvora");
    EXPECT_EQ(Id("C:\\my_files\\Setup.exe"), "melvora");       // folders do not count
    EXPECT_EQ(Id("C:\\my_files\\"), "melvora");
    EXPECT_EQ(Id(""), "melvora");
}

TEST(PartnerId, DropsABrowserDuplicateSuffix)
{
    EXPECT_EQ(Id("C:\\Downloads\\Setup_nv01[1].exe"), "nv01");
    EXPECT_EQ(Id("C:\\Downloads\\Setup_nv01 (1).exe"), "nv01");
    EXPECT_EQ(Id("C:\\Downloads\\Setup_nv01(12).exe"), "nv01");
    EXPECT_EQ(Id("C:\\Downloads\\Setup_nv01 [3].exe"), "nv01");
    EXPECT_EQ(Id("C:\\Downloads\\Setup_nv 01 (1).exe"), "nv 01");   // only trailing spaces go
    EXPECT_EQ(Id("C:\\Downloads\\Setup_[1].exe"), "");
    EXPECT_EQ(Id("C:\\Downloads\\Setup_nv01["), "");            // no "." at all: empty
}

TEST(PartnerId, IsEmptyWhenNothingUsableFollowsTheUnderscore)
{
    EXPECT_EQ(Id("C:\\Downloads\\Setup_.exe"), "");
    EXPECT_EQ(Id("C:\\Downloads\\Setup_"), "");
    EXPECT_EQ(Id("C:\\Downloads\\Setup_nv01"), "");             // no "."
}

TEST(PartnerId, WorksWithoutAnyFolderAndOnVeryLongNames)
{
    EXPECT_EQ(Id("Setup_x.exe"), "x");
    const std::string longId(70000, 'p');
    const std::string path = "C:\\" + std::string(5000, 'd') + "\\Setup_" + longId + ".exe";
    EXPECT_EQ(std::string(Id(path.c_str())), longId);
}

TEST(PartnerId, KeepsKoreanBytesUnchanged)
{
    // "파트너" in code page 949.
    EXPECT_EQ(Id("C:\\Setup_\xC6\xC4\xC6\xAE\xB3\xCA.exe"), "\xC6\xC4\xC6\xAE\xB3\xCA");
}

}  // namespace
