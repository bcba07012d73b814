// Splitting URLs: which ones count as plain http, and the server, object and port.
#include <gtest/gtest.h>

#include "AfxParseURL.h"

namespace {

struct Parsed {
    bool ok;
    unsigned long service;
    CString server;
    CString object;
    unsigned short port;
};

Parsed Parse(const char* url)
{
    Parsed p{};
    p.ok = AfxParseURL(url, p.service, p.server, p.object, p.port);
    return p;
}

TEST(ParseUrl, SplitsAnHttpUrl)
{
    const Parsed p = Parse("http://www.example.com/app/setup/setup.php?pid=abc");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.service, static_cast<unsigned long>(AFX_INET_SERVICE_HTTP));
    EXPECT_EQ(p.server, "www.example.com");
    EXPECT_EQ(p.object, "/app/setup/setup.php?pid=abc");
    EXPECT_EQ(p.port, 80);
}

TEST(ParseUrl, TakesAnExplicitPortAndDefaultsTheObject)
{
    const Parsed p = Parse("HTTP://127.0.0.1:47080");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.service, static_cast<unsigned long>(AFX_INET_SERVICE_HTTP));
    EXPECT_EQ(p.server, "127.0.0.1");
    EXPECT_EQ(p.port, 47080);
    EXPECT_EQ(p.object, "/");
}

TEST(ParseUrl, NamesOtherSchemesSoCallersCanRefuseThem)
{
    EXPECT_EQ(Parse("https://host/x").service, static_cast<unsigned long>(AFX_INET_SERVICE_HTTPS));
    EXPECT_EQ(Parse("ftp://host/x").service, static_cast<unsigned long>(AFX_INET_SERVICE_FTP));
    EXPECT_EQ(Parse("gopher://host/").service, static_cast<unsigned long>(AFX_INET_SERVICE_GOPHER));
    EXPECT_EQ(Parse("zzz://host/").service, static_cast<unsigned long>(AFX_INET_SERVICE_UNK));
}

TEST(ParseUrl, RejectsWhatIsNotAUrl)
{
    EXPECT_FALSE(Parse("").ok);
    EXPECT_FALSE(Parse("www.example.com/x").ok);
    EXPECT_FALSE(Parse("localhost:8080/x").ok);      // a host and port is not a scheme
    EXPECT_FALSE(Parse("http:/x").ok);
    EXPECT_FALSE(Parse("http:///x").ok);             // no server
    EXPECT_FALSE(Parse("http://host:/x").ok);
    EXPECT_FALSE(Parse("http://host:0/x").ok);
    EXPECT_FALSE(Parse("http://host:65536/x").ok);
    EXPECT_FALSE(Parse("http://host:80a/x").ok);
    EXPECT_FALSE(Parse(":x").ok);
}

}  // namespace
