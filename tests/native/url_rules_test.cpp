// Which URLs the text fetch requests, and the report paths sent to the servers.
#include <gtest/gtest.h>

#include "net/UrlRules.h"

namespace {

TEST(FetchUrl, AUrlWithoutColonGetsHttpInFrontAfterTrimming)
{
    EXPECT_EQ(NormaliseFetchUrl("  www.example.com/Lisence/a.txt \t\r\n"), "http://www.example.com/Lisence/a.txt");
    EXPECT_EQ(NormaliseFetchUrl("//www.example.com/a.txt"), "http://www.example.com/a.txt");
    EXPECT_EQ(NormaliseFetchUrl("/a.txt"), "http:/a.txt");
    EXPECT_EQ(NormaliseFetchUrl(""), "http://");
    EXPECT_EQ(NormaliseFetchUrl(" HTTP://h/x "), "HTTP://h/x");
    // Any ":" (a port, a colon in the query) means nothing is put in front.
    EXPECT_EQ(NormaliseFetchUrl("host:8080/a.txt"), "host:8080/a.txt");
    EXPECT_EQ(NormaliseFetchUrl("host/a.php?t=1:2"), "host/a.php?t=1:2");
}

TEST(FetchUrl, OnlyPlainHttpUrlsAreRequested)
{
    EXPECT_TRUE(IsPlainHttpUrl("http://127.0.0.1:47080/app/setup/setup.php?pid=abc"));
    EXPECT_TRUE(IsPlainHttpUrl(NormaliseFetchUrl(" www.example.com/a.txt ")));
    EXPECT_TRUE(IsPlainHttpUrl(NormaliseFetchUrl("//www.example.com/a.txt")));
    EXPECT_FALSE(IsPlainHttpUrl("https://www.example.com/a.txt"));
    EXPECT_FALSE(IsPlainHttpUrl("ftp://www.example.com/a.txt"));
    EXPECT_FALSE(IsPlainHttpUrl("file://c/a.txt"));
    EXPECT_FALSE(IsPlainHttpUrl(NormaliseFetchUrl("host:8080/a.txt")));
    EXPECT_FALSE(IsPlainHttpUrl(NormaliseFetchUrl("/a.txt")));
    EXPECT_FALSE(IsPlainHttpUrl(NormaliseFetchUrl("")));
}

TEST(ReportPaths, TheSerialLengthIsCountedInBytes)
{
    // Six Korean characters are twelve bytes in code page 949: sent.
    const char* korean = "\xC0\xCF\xC0\xCC\xBB\xEF\xBB\xE7\xBF\xC0\xC0\xB0";
    EXPECT_EQ(InstallLogPath("abc", korean), CString("/app/receive/log.php?pid=abc&sr=") + korean);
    // Twelve characters of which some are Korean are more bytes: not sent.
    EXPECT_EQ(InstallLogPath("abc", "\xC0\xCF" "ABCDEFGHIJK"), "/app/receive/log.php?pid=abc");
}

}  // namespace
