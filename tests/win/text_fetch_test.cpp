// The text fetch through the real WinInet against the loopback publisher server.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "net/FetchUrlText.h"
#include "support/ProxyControl.h"
#include "support/PublisherControl.h"
#include "support/TestUtil.h"

namespace {

using publisher::ReadLog;
using publisher::Url;

class TextFetch : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(publisher::Reset()); }
};

std::string Fetch(const std::string& url, int* result = nullptr)
{
    CString text = "left over";
    const int r = FetchUrlText(url.c_str(), text);
    if (result)
        *result = r;
    return text.str();
}

TEST_F(TextFetch, AsksForThePathWithAgentMozillaAndReturnsTheBody)
{
    ASSERT_TRUE(publisher::Put("/Lisence/melvora_licence.txt", "Terms\r\nof use"));
    int result = 0;
    EXPECT_EQ(Fetch(Url("/Lisence/melvora_licence.txt?x=1"), &result), "Terms\r\nof use");
    EXPECT_EQ(result, 1);
    const auto log = ReadLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].role, "product");
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].path, "/Lisence/melvora_licence.txt?x=1");
    EXPECT_EQ(log[0].agent, "Mozilla");
    EXPECT_EQ(log[0].authorization, "");
}

TEST_F(TextFetch, AnErrorPageIsReturnedAsText)
{
    int result = 0;
    EXPECT_EQ(Fetch(Url("/app/setup/setup.php?pid=nobody"), &result), "404 Not Found");
    EXPECT_EQ(result, 1);
}

TEST_F(TextFetch, ABodyLongerThanOneBufferComesBackWhole)
{
    std::string body;
    for (int i = 0; body.size() < 200000; ++i)
        body += "line " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(publisher::Put("/long.txt", body));
    EXPECT_EQ(Fetch(Url("/long.txt")), body);
}

TEST_F(TextFetch, AZeroByteEndsOnlyTheTextOfItsOwnRead)
{
    // The zero arrives in the first piece; the second piece still comes through.
    ASSERT_TRUE(publisher::Fault("/zero.txt", "split", "pieces=7&pause=300&body=abc%00def%20ghi", "product"));
    EXPECT_EQ(Fetch(Url("/zero.txt")), "abc ghi");
}

TEST_F(TextFetch, OnlyPlainHttpUrlsReachTheServer)
{
    const std::string host = publisher::Host();
    for (const std::string& url : {"https://" + host + "/a.txt", "ftp://" + host + "/a.txt",
                                   "file://" + host + "/a.txt", host + "/a.txt" /* host:port, no scheme */}) {
        int result = 0;
        EXPECT_EQ(Fetch(url, &result), "") << url;
        EXPECT_EQ(result, 1) << url;
    }
    EXPECT_TRUE(ReadLog().empty());
}

TEST_F(TextFetch, ARefusedConnectionGivesEmptyText)
{
    const int port = testutil::UnusedLoopbackPort();
    ASSERT_NE(port, 0);
    int result = 0;
    EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(port) + "/a.txt", &result), "");
    EXPECT_EQ(result, 1);
}

// A socket listening on a free loopback port (Winsock must be started);
// false when none could be had.
bool ListenOnLoopback(int backlog, SOCKET* pListener, sockaddr_in* pAddr)
{
    *pListener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    *pAddr = sockaddr_in{};
    pAddr->sin_family = AF_INET;
    pAddr->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof *pAddr;
    return ::bind(*pListener, reinterpret_cast<sockaddr*>(pAddr), sizeof *pAddr) == 0 &&
           ::listen(*pListener, backlog) == 0 &&
           ::getsockname(*pListener, reinterpret_cast<sockaddr*>(pAddr), &len) == 0;
}

// A loopback port whose queue of connections waiting to be accepted is full, so a new
// connection attempt there is never answered, as with a host behind a firewall that
// drops it.
class UnansweredPort {
public:
    UnansweredPort()
    {
        WSADATA wsa;
        ::WSAStartup(MAKEWORD(2, 2), &wsa);
        sockaddr_in addr;
        if (!ListenOnLoopback(0, &m_listener, &addr))
            return;
        for (SOCKET& s : m_fillers) {
            s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            u_long nonBlocking = 1;
            ::ioctlsocket(s, FIONBIO, &nonBlocking);
            ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        }
        m_port = ntohs(addr.sin_port);
    }
    ~UnansweredPort()
    {
        for (SOCKET s : m_fillers)
            ::closesocket(s);
        ::closesocket(m_listener);
        ::WSACleanup();
    }
    int port() const { return m_port; }

private:
    SOCKET m_listener = INVALID_SOCKET;
    SOCKET m_fillers[3] = {INVALID_SOCKET, INVALID_SOCKET, INVALID_SOCKET};
    int m_port = 0;
};

// Four fetches at once: a host that never answers the connection, a server that accepts
// and stays silent, a body that stalls after its first bytes, and a body that keeps
// coming, a byte a second, for longer than the bound.
TEST_F(TextFetch, TenSecondsOfSilenceGiveEmptyTextButASlowSteadyBodyArrivesWhole)
{
    UnansweredPort unanswered;
    ASSERT_NE(unanswered.port(), 0);
    ASSERT_TRUE(publisher::Put("/silent.txt", "never sent"));
    ASSERT_TRUE(publisher::Fault("/silent.txt", "silent", "", "product"));
    ASSERT_TRUE(publisher::Put("/stalled.txt", "row|one^row|two"));
    ASSERT_TRUE(publisher::Fault("/stalled.txt", "silent", "bytes=7", "product"));
    ASSERT_TRUE(publisher::Put("/slow.txt", "slow but steady"));
    ASSERT_TRUE(publisher::Fault("/slow.txt", "trickle", "chunk=1&interval=900", "product"));

    struct Run {
        std::string url, text;
        int result = 0;
        DWORD ms = 0;
    };
    Run runs[] = {{"http://127.0.0.1:" + std::to_string(unanswered.port()) + "/a.txt", ""},
                  {Url("/silent.txt"), ""},
                  {Url("/stalled.txt"), ""},
                  {Url("/slow.txt"), ""}};
    std::vector<std::thread> threads;
    for (Run& run : runs) {
        threads.emplace_back([&run] {
            const DWORD start = ::GetTickCount();
            run.text = Fetch(run.url, &run.result);
            run.ms = ::GetTickCount() - start;
        });
    }
    for (std::thread& t : threads)
        t.join();

    for (const Run& run : {runs[0], runs[1], runs[2]}) {
        EXPECT_EQ(run.text, "") << run.url;
        EXPECT_EQ(run.result, 1) << run.url;
        EXPECT_GE(run.ms, 9500u) << run.url;
        EXPECT_LT(run.ms, 15000u) << run.url;
    }
    EXPECT_EQ(runs[3].text, "slow but steady") << "after " << runs[3].ms << " ms";
    EXPECT_GT(runs[3].ms, 10000u);
}

TEST_F(TextFetch, RedirectsAreFollowedToAnotherHostAndPort)
{
    // To the statistics port, which asks for credentials the fetch does not have: its
    // refusal comes back as the text.
    ASSERT_TRUE(publisher::Fault("/moved.txt", "redirect",
                                 "to=" + publisher::UrlEncode(Url("/elsewhere.txt", "stats")), "product"));
    ASSERT_TRUE(publisher::Put("/here.txt", "arrived"));
    const std::string otherHost = "http://localhost:" + std::to_string(publisher::ProductPort()) + "/here.txt";
    ASSERT_TRUE(publisher::Fault("/renamed.txt", "redirect", "to=" + publisher::UrlEncode(otherHost), "product"));
    EXPECT_EQ(Fetch(Url("/moved.txt")), "401 Unauthorized");
    EXPECT_EQ(Fetch(Url("/renamed.txt")), "arrived");
    const auto stats = ReadLog("stats");
    ASSERT_EQ(stats.size(), 1u);
    EXPECT_EQ(stats[0].path, "/elsewhere.txt");
    EXPECT_EQ(stats[0].agent, "Mozilla");
}

// Points the system's proxy setting at the loopback server for the length of a test, so
// a URL without a port can be requested and the server sees the whole URL as sent.
class ProxiedTextFetch : public TextFetch {
protected:
    void SetUp() override
    {
        TextFetch::SetUp();
        ASSERT_TRUE(m_proxy.Set());
    }

    proxy::ScopedSystemProxy m_proxy{publisher::Host()};
};

TEST_F(ProxiedTextFetch, AUrlWithoutSchemeIsTrimmedAndFetchedAsHttp)
{
    ASSERT_TRUE(publisher::Put("/a.txt", "proxied"));
    EXPECT_EQ(Fetch("  melvora-test.invalid/a.txt \r\n"), "proxied");
    EXPECT_EQ(Fetch("//melvora-test.invalid/a.txt?two"), "proxied");
    // The proxy is asked for the whole URL (WinInet names the default port in it).
    const auto log = ReadLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].path, "http://melvora-test.invalid:80/a.txt");
    EXPECT_EQ(log[1].path, "http://melvora-test.invalid:80/a.txt?two");
}

// Accepts one connection on a free loopback port, keeps the request head it receives
// and answers it with a short body.
class OneRequestServer {
public:
    OneRequestServer()
    {
        WSADATA wsa;
        ::WSAStartup(MAKEWORD(2, 2), &wsa);
        sockaddr_in addr;
        if (ListenOnLoopback(1, &m_listener, &addr))
            m_port = ntohs(addr.sin_port);
        m_thread = ::CreateThread(nullptr, 0, &OneRequestServer::ThreadProc, this, 0, nullptr);
    }
    ~OneRequestServer()
    {
        ::closesocket(m_listener);   // ends a pending accept
        if (m_thread) {
            ::WaitForSingleObject(m_thread, 15000);
            ::CloseHandle(m_thread);
        }
        ::WSACleanup();
    }
    int port() const { return m_port; }
    // What arrived, once the one request has been answered.
    std::string head()
    {
        if (m_thread)
            ::WaitForSingleObject(m_thread, 15000);
        return m_head;
    }

private:
    static DWORD WINAPI ThreadProc(void* self)
    {
        static_cast<OneRequestServer*>(self)->Serve();
        return 0;
    }
    void Serve()
    {
        SOCKET s = ::accept(m_listener, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            return;
        DWORD timeout = 10000;
        ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
        std::string head;
        char buffer[1024];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
            const int n = ::recv(s, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            head.append(buffer, size_t(n));
        }
        m_head = head;
        const char reply[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nhi";
        ::send(s, reply, int(sizeof reply - 1), 0);
        ::shutdown(s, SD_SEND);
        ::closesocket(s);
    }

    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    std::string m_head;
    HANDLE m_thread = nullptr;
};

TEST(TextFetchWire, TheRequestHeadAcceptsAnyTypeAndNamesAgentMozilla)
{
    OneRequestServer server;
    ASSERT_NE(server.port(), 0);
    EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(server.port()) + "/Lisence/melvora_licence.txt"), "hi");
    const std::string head = server.head();
    EXPECT_EQ(head.rfind("GET /Lisence/melvora_licence.txt HTTP/1.1\r\n", 0), 0u) << head;
    EXPECT_NE(head.find("\r\nAccept: */*\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.find("Accept:"), head.rfind("Accept:")) << head;   // only once
    EXPECT_NE(head.find("\r\nUser-Agent: Mozilla\r\n"), std::string::npos) << head;
}

}  // namespace
