// The version query and the install log through the real WinInet against the loopback
// statistics and log servers.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net/StatsClient.h"
#include "support/PublisherControl.h"
#include "support/TestUtil.h"

namespace {

using publisher::ReadLog;
using publisher::RequestLogEntry;

const char kKey[] = "Software\\MELVORA";

// Keeps the user's "pid" and "serial" as they were before the test.
class InstallReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_pid = testutil::ReadRegValue(HKEY_CURRENT_USER, kKey, "pid");
        m_serial = testutil::ReadRegValue(HKEY_CURRENT_USER, kKey, "serial");
        ASSERT_TRUE(publisher::Reset());
    }
    void TearDown() override
    {
        Restore("pid", m_pid);
        Restore("serial", m_serial);
    }

    static void Set(const char* name, const char* text)
    {
        ::RegSetKeyValueA(HKEY_CURRENT_USER, kKey, name, REG_SZ, text, DWORD(strlen(text) + 1));
    }
    static void Remove(const char* name) { ::RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, name); }
    static void Restore(const char* name, const testutil::RegValue& value)
    {
        if (value.exists)
            ::RegSetKeyValueA(HKEY_CURRENT_USER, kKey, name, value.type, value.data.data(), DWORD(value.data.size()));
        else
            Remove(name);
    }

    // The one path a report asked for on a role's port, with checks that hold for every
    // report: each attempt is an HTTP/1.0 GET of the same path, and the last one carries
    // the credentials the server accepted.
    static std::string ReportedPath(const char* role)
    {
        const std::vector<RequestLogEntry> log = ReadLog(role);
        EXPECT_FALSE(log.empty()) << role;
        EXPECT_EQ(ReadLog().size(), log.size()) << "a report went to another port";
        if (log.empty())
            return std::string();
        for (const RequestLogEntry& e : log) {
            EXPECT_EQ(e.method, "GET");
            EXPECT_EQ(e.version, "HTTP/1.0");
            EXPECT_EQ(e.path, log[0].path);
        }
        EXPECT_EQ(log.back().authorization, publisher::BasicAuthorization());
        return log[0].path;
    }

    static CString QueryVersions() { return CStatsClient().QueryVersions("pebrook", "5816ce"); }
    static CString SendInstallLog() { return CStatsClient().SendInstallLog("pebrook", "5816ce"); }

    testutil::RegValue m_pid;
    testutil::RegValue m_serial;
};

TEST_F(InstallReport, TheVersionQueryGoesToTheStatisticsServerWithThePartnerId)
{
    Set("pid", "abc");
    ASSERT_TRUE(publisher::Put("/app/ver.php", "ok|1.0.3|2.1.0", "stats"));
    EXPECT_EQ(QueryVersions(), "ok|1.0.3|2.1.0");
    EXPECT_EQ(ReportedPath("stats"), "/app/ver.php?project=melvora&pid=abc");
}

TEST_F(InstallReport, AMissingOrEmptyPartnerIdIsSentAsMelvora)
{
    Remove("pid");
    QueryVersions();
    EXPECT_EQ(ReportedPath("stats"), "/app/ver.php?project=melvora&pid=melvora");

    ASSERT_TRUE(publisher::ClearLog());
    Set("pid", "");
    Remove("serial");
    EXPECT_EQ(SendInstallLog(), "OK");
    EXPECT_EQ(ReportedPath("log"), "/app/receive/log.php?pid=melvora");
}

TEST_F(InstallReport, TheInstallLogCarriesTheSerialOnlyAtExactlyTwelveCharacters)
{
    Set("pid", "nv01");
    const struct {
        const char* serial;
        const char* path;
    } cases[] = {
        {"ABCDEFGHIJK", "/app/receive/log.php?pid=nv01"},
        {"ABCDEFGHIJKL", "/app/receive/log.php?pid=nv01&sr=ABCDEFGHIJKL"},
        {"ABCDEFGHIJKLM", "/app/receive/log.php?pid=nv01"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(publisher::ClearLog());
        Set("serial", c.serial);
        SendInstallLog();
        EXPECT_EQ(ReportedPath("log"), c.path) << c.serial;
    }
}

TEST_F(InstallReport, AReplyOfExactly1024BytesIsReadWhole)
{
    Set("pid", "abc");
    std::string body = "ok|1.0.3|2.1.0|";
    body.resize(1024, 'x');
    ASSERT_TRUE(publisher::Put("/app/ver.php", body, "stats"));
    EXPECT_EQ(QueryVersions().str(), body);
}

TEST_F(InstallReport, AReplyArrivingInSmallPiecesIsReadWhole)
{
    // WinInet fills each 1024-byte read unless the body ends first, so the slow pieces
    // are gathered into one short read and the limit of six short reads never cuts them.
    Set("pid", "abc");
    std::string body(1024, 'a');
    for (char c = '1'; c <= '8'; ++c)
        body += std::string(10, c);
    ASSERT_TRUE(publisher::Put("/app/ver.php", body, "stats"));
    ASSERT_TRUE(publisher::Fault("/app/ver.php", "split", "pieces=1024,10,10,10,10,10,10,10&pause=100", "stats"));
    EXPECT_EQ(QueryVersions().str(), body);
}

TEST_F(InstallReport, AZeroByteEndsTheTextOfItsRead)
{
    Set("pid", "abc");
    ASSERT_TRUE(publisher::Fault("/app/ver.php", "zero", "at=8&body=ok%7C1.0.3%7C2.1.0", "stats"));
    EXPECT_EQ(QueryVersions(), "ok|1.0.3");
}

TEST_F(InstallReport, TenSecondsOfSilenceGiveNoReply)
{
    // The version query meets a reply that stalls after its first 1024 bytes (a reply
    // cut short could name versions nobody published) while the install log meets a
    // server that accepts and says nothing.
    Set("pid", "abc");
    std::string body = "OK|1.0.3|1.0.1|";
    body.resize(2000, 'x');
    ASSERT_TRUE(publisher::Put("/app/ver.php", body, "stats"));
    ASSERT_TRUE(publisher::Fault("/app/ver.php", "silent", "bytes=1024", "stats"));
    ASSERT_TRUE(publisher::Fault("/app/receive/log.php", "silent", "", "log"));
    CString versions = "not asked", log = "not sent";
    DWORD versionsMs = 0, logMs = 0;
    std::thread query([&] {
        const DWORD start = ::GetTickCount();
        versions = QueryVersions();
        versionsMs = ::GetTickCount() - start;
    });
    const DWORD start = ::GetTickCount();
    log = SendInstallLog();
    logMs = ::GetTickCount() - start;
    query.join();
    EXPECT_EQ(versions, "");
    EXPECT_EQ(log, "");
    for (const DWORD ms : {versionsMs, logMs}) {
        EXPECT_GE(ms, 9500u);
        EXPECT_LT(ms, 15000u);
    }
    // Both were answered, silently, once their credentials had been accepted.
    for (const char* role : {"stats", "log"}) {
        const auto entries = ReadLog(role);
        ASSERT_FALSE(entries.empty()) << role;
        EXPECT_EQ(entries.back().authorization, publisher::BasicAuthorization()) << role;
    }
}

}  // namespace
