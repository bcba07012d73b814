// File downloads with the real WinInet against the loopback publisher server; the
// progress messages are recorded by a real window that runs its own message loop on
// another thread, as the wizard dialog does while the install thread downloads.
#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "net/HttpDownloader.h"
#include "sys/KernelHandle.h"
#include "support/PublisherControl.h"
#include "support/TestUtil.h"

namespace {

struct Msg {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Msg& o) const { return message == o.message && wParam == o.wParam && lParam == o.lParam; }
};

std::ostream& operator<<(std::ostream& os, const Msg& m)
{
    return os << "{" << m.message << ", " << m.wParam << ", " << m.lParam << "}";
}

Msg Size(DWORD declared)
{
    return {WM_USER + 1002, declared, 0};
}

Msg Progress(DWORD percent, DWORD written)
{
    return {WM_USER + 1003, percent, LPARAM(written)};
}

// A message-only window on its own thread that records the download messages it receives
// and when they came.
class MessageRecorder {
public:
    MessageRecorder()
    {
        HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([this, ready] { Run(ready); });
        ::WaitForSingleObject(ready, 10000);
        ::CloseHandle(ready);
    }
    ~MessageRecorder()
    {
        if (m_hWnd)
            ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
        m_thread.join();
    }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    HWND hwnd() const { return m_hWnd; }
    std::vector<Msg> messages() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    std::vector<DWORD> ticks() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ticks;
    }

private:
    void Run(HANDLE ready)
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = WndProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "MelvoraDownloadRecorder";
        ::RegisterClassA(&wc);   // fails harmlessly once the class exists
        m_hWnd = ::CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
        ::SetEvent(ready);
        if (!m_hWnd)
            return;
        MSG msg;
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageA(&msg);
    }

    static LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
            ::SetWindowLongPtrA(hWnd, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<MessageRecorder*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
        if (self && (message == WM_USER + 1002 || message == WM_USER + 1003)) {
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_messages.push_back({message, wParam, lParam});
            self->m_ticks.push_back(::GetTickCount());
            return 0;
        }
        if (message == WM_DESTROY)
            ::PostQuitMessage(0);
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }

    std::thread m_thread;
    HWND m_hWnd = nullptr;
    mutable std::mutex m_mutex;
    std::vector<Msg> m_messages;
    std::vector<DWORD> m_ticks;
};

// The bytes the server's make-file generates, byte i being i % 251; used for Put too.
std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = char(i % 251);
    return s;
}

const char kOldBytes[] = "bytes of an earlier download";

class HttpDownloaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(publisher::Reset()) << "the loopback publisher server does not answer";
        ASSERT_TRUE(m_recorder.hwnd());
        m_target = m_dir / "file.bin";
    }

    // Path on the server for this test.
    static std::string ServerPath(const std::string& name)
    {
        return "/dl/" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "/" + name;
    }
    bool Download(const std::string& path, HWND hWnd)
    {
        return m_downloader.Download(publisher::Url(path).c_str(), m_target.c_str(), hWnd);
    }
    bool Download(const std::string& path) { return Download(path, m_recorder.hwnd()); }
    std::string TargetBytes(bool* exists = nullptr) const { return testutil::ReadFileBytes(m_target, exists); }
    // What the download folder holds: the target alone, never a part file left behind.
    std::vector<std::string> FolderEntries() const { return testutil::FolderEntries(m_dir.path()); }

    testutil::ScopedTempDir m_dir;
    std::string m_target;
    MessageRecorder m_recorder;
    CHttpDownloader m_downloader;
};

TEST_F(HttpDownloaderTest, AnEmptyReplyEmptiesTheFileAndSucceeds)
{
    ASSERT_TRUE(testutil::WriteFileBytes(m_target, kOldBytes));
    ASSERT_TRUE(publisher::Put(ServerPath("empty"), ""));
    EXPECT_TRUE(Download(ServerPath("empty")));
    bool exists = false;
    EXPECT_EQ(TargetBytes(&exists), "");
    EXPECT_TRUE(exists);
    EXPECT_EQ(m_recorder.messages(), (std::vector<Msg>{Size(0), Progress(0, 0), Progress(0, 0)}));
}

TEST_F(HttpDownloaderTest, ABodyReadAtOnceSendsOneHundredPerCentAndTheFinalMessage)
{
    const std::string body = Pattern(1000);
    ASSERT_TRUE(publisher::Put(ServerPath("f"), body));
    EXPECT_TRUE(Download(ServerPath("f")));
    EXPECT_EQ(TargetBytes(), body);
    EXPECT_EQ(m_recorder.messages(),
              (std::vector<Msg>{Size(1000), Progress(0, 0), Progress(100, 1000), Progress(100, 1000)}));
    const auto log = publisher::ReadLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].path, ServerPath("f"));
    EXPECT_EQ(log[0].version, "HTTP/1.1");
    EXPECT_EQ(log[0].agent, "HTTP");
}

TEST_F(HttpDownloaderTest, EachReadThatChangesTheWholePercentageIsReported)
{
    const std::string body = Pattern(1000);
    ASSERT_TRUE(publisher::Put(ServerPath("f"), body));
    // Pauses between the pieces make WinInet see 5, 5 and 990 bytes as separate reads.
    ASSERT_TRUE(publisher::Fault(ServerPath("f"), "split", "pieces=5,5&pause=150"));
    EXPECT_TRUE(Download(ServerPath("f")));
    EXPECT_EQ(TargetBytes(), body);
    EXPECT_EQ(m_recorder.messages(), (std::vector<Msg>{Size(1000), Progress(0, 0), Progress(1, 10),
                                                       Progress(100, 1000), Progress(100, 1000)}));
}

TEST_F(HttpDownloaderTest, ALargeDownloadSendsEachPercentageOnceInOrder)
{
    const size_t size = 3 * 1024 * 1024 + 17;
    ASSERT_TRUE(publisher::MakeFile(ServerPath("big"), size));
    EXPECT_TRUE(Download(ServerPath("big")));
    EXPECT_TRUE(TargetBytes() == Pattern(size)) << "the file differs from what the server sent";

    const auto msgs = m_recorder.messages();
    ASSERT_GE(msgs.size(), 3u);
    EXPECT_EQ(msgs[0], Size(DWORD(size)));
    EXPECT_EQ(msgs[1], Progress(0, 0));
    EXPECT_EQ(msgs.back(), Progress(100, DWORD(size)));
    // Between them: the percentages 1..100 each once (time marks, on a slow machine,
    // repeat the last one), every one matching the byte count it came with.
    std::vector<WPARAM> percentages;
    for (size_t i = 2; i + 1 < msgs.size(); ++i) {
        EXPECT_EQ(msgs[i].message, UINT(WM_USER + 1003));
        EXPECT_EQ(msgs[i].wParam, WPARAM(double(msgs[i].lParam) * 100.0 / double(size))) << msgs[i];
        if (percentages.empty() || percentages.back() != msgs[i].wParam)
            percentages.push_back(msgs[i].wParam);
    }
    std::vector<WPARAM> expected;
    for (WPARAM p = 1; p <= 100; ++p)
        expected.push_back(p);
    EXPECT_EQ(percentages, expected);
}

TEST_F(HttpDownloaderTest, RepliesOtherThan200FailWithoutTouchingTheFile)
{
    ASSERT_TRUE(publisher::Put(ServerPath("partial"), Pattern(1000)));
    ASSERT_TRUE(publisher::Fault(ServerPath("partial"), "status", "code=206"));
    ASSERT_TRUE(publisher::Fault(ServerPath("moved"), "redirect", "to=" + publisher::UrlEncode(ServerPath("gone"))));
    // To another port: the statistics server, which refuses a request without credentials.
    ASSERT_TRUE(publisher::Fault(ServerPath("away"), "redirect",
                                 "to=" + publisher::UrlEncode(publisher::Url(ServerPath("f"), "stats"))));
    for (const char* name : {"gone", "partial", "moved", "away"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(testutil::WriteFileBytes(m_target, kOldBytes));
        EXPECT_FALSE(Download(ServerPath(name)));
        EXPECT_EQ(TargetBytes(), kOldBytes);
    }
    EXPECT_EQ(m_recorder.messages(), std::vector<Msg>{});
    // The redirects were followed to the missing file and to the other port.
    bool sawTarget = false;
    for (const auto& entry : publisher::ReadLog("product"))
        sawTarget = sawTarget || entry.path == ServerPath("gone");
    EXPECT_TRUE(sawTarget);
    const auto stats = publisher::ReadLog("stats");
    ASSERT_EQ(stats.size(), 1u);
    EXPECT_EQ(stats[0].path, ServerPath("f"));
    EXPECT_EQ(stats[0].agent, "HTTP");
}

TEST_F(HttpDownloaderTest, RedirectsAreFollowedToTheFile)
{
    const std::string body = Pattern(5000);
    ASSERT_TRUE(publisher::Put(ServerPath("real"), body));
    // Two hops, the last one to another host name.
    const std::string otherHost =
        "http://localhost:" + std::to_string(publisher::ProductPort()) + ServerPath("real");
    ASSERT_TRUE(publisher::Fault(ServerPath("moved"), "redirect", "hops=2&to=" + publisher::UrlEncode(otherHost)));
    EXPECT_TRUE(Download(ServerPath("moved")));
    EXPECT_EQ(TargetBytes(), body);
}

TEST_F(HttpDownloaderTest, RepliesWithoutAValidContentLengthFailAndLeaveTheOldFile)
{
    ASSERT_TRUE(publisher::Put(ServerPath("f"), Pattern(3000)));
    ASSERT_TRUE(publisher::Put(ServerPath("empty"), ""));
    for (const char* kind : {"no-length", "chunked", "bad-length&value=12abc", "bad-length&value=-1"}) {
        SCOPED_TRACE(kind);
        ASSERT_TRUE(publisher::Fault("path=" + publisher::UrlEncode(ServerPath("f")) + "&kind=" + kind));
        ASSERT_TRUE(publisher::Fault("path=" + publisher::UrlEncode(ServerPath("empty")) + "&kind=" + kind));
        ASSERT_TRUE(testutil::WriteFileBytes(m_target, kOldBytes));
        EXPECT_FALSE(Download(ServerPath("empty")));
        EXPECT_EQ(TargetBytes(), kOldBytes);
        ASSERT_TRUE(testutil::WriteFileBytes(m_target, kOldBytes));
        EXPECT_FALSE(Download(ServerPath("f")));
        EXPECT_EQ(TargetBytes(), kOldBytes);
    }
    EXPECT_EQ(m_recorder.messages(), std::vector<Msg>{});
}

TEST_F(HttpDownloaderTest, ABodyCutShortThreeTimesFailsAndLeavesTheOldFileAsItWas)
{
    const std::string body = Pattern(1000);
    ASSERT_TRUE(publisher::Put(ServerPath("f"), body));
    // Every reply stops after 100 bytes; each try after the first asks for the rest.
    ASSERT_TRUE(publisher::Fault(ServerPath("f"), "short", "bytes=100"));
    ASSERT_TRUE(testutil::WriteFileBytes(m_target, kOldBytes));
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(Download(ServerPath("f")));
    EXPECT_GE(::GetTickCount() - start, 4000u);   // paused 1 s, then 3 s
    EXPECT_EQ(TargetBytes(), kOldBytes);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"file.bin"});
    EXPECT_EQ(m_recorder.messages(),
              (std::vector<Msg>{Size(1000), Progress(0, 0), Progress(10, 100), Progress(10, 100),   // first try
                                Size(1000), Progress(10, 100), Progress(20, 200), Progress(20, 200),
                                Size(1000), Progress(20, 200), Progress(30, 300), Progress(30, 300)}));
    std::vector<std::string> ranges;
    for (const auto& entry : publisher::ReadLog())
        ranges.push_back(entry.range);
    EXPECT_EQ(ranges, (std::vector<std::string>{"", "bytes=100-", "bytes=200-"}));
}

TEST_F(HttpDownloaderTest, ASixteenMebibyteBodyCutAtNinetyPerCentResumesWithOneRequestForTheRest)
{
    const size_t size = 16u << 20, cut = size / 10 * 9;
    ASSERT_TRUE(publisher::MakeFile(ServerPath("big"), size));
    ASSERT_TRUE(publisher::Fault(ServerPath("big"), "short", "times=1&bytes=" + std::to_string(cut)));
    EXPECT_TRUE(Download(ServerPath("big")));
    EXPECT_TRUE(TargetBytes() == Pattern(size)) << "the file differs from what the server sent";
    const auto log = publisher::ReadLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].range, "");
    EXPECT_EQ(log[1].range, "bytes=" + std::to_string(cut) + "-");
    // The second try starts where the first ended, and the bar never runs backwards.
    const auto msgs = m_recorder.messages();
    size_t second = 1;
    while (second < msgs.size() && !(msgs[second] == Size(DWORD(size))))
        ++second;
    ASSERT_LT(second + 1, msgs.size());
    EXPECT_EQ(msgs[second + 1], Progress(89, DWORD(cut)));
    for (size_t i = 2; i < msgs.size(); ++i) {
        if (i != second) {
            EXPECT_GE(msgs[i].lParam, msgs[i - 1].lParam) << i;
        }
    }
    EXPECT_EQ(msgs.back(), Progress(100, DWORD(size)));
}

// The Range header of each request of the server's log, in order.
std::vector<std::string> Ranges()
{
    std::vector<std::string> ranges;
    for (const auto& entry : publisher::ReadLog())
        ranges.push_back(entry.range);
    return ranges;
}

// A body cut after 100 bytes, then the server's next answers: a resume is asked for only
// where the first reply named its version strongly, and the rest is taken only from that
// version; otherwise the file starts over, and it always arrives whole and unspliced.
TEST_F(HttpDownloaderTest, ACutBodyIsResumedOnlyFromTheVersionItBeganWith)
{
    const std::string body = Pattern(1000);
    struct Case {
        const char* name;
        const char* validators;
        std::vector<std::string> ranges;
    } cases[] = {
        {"weak", "etag=W%2F%22w1%22&modified=3600", {"", ""}},
        {"old-date", "etag=-&modified=120", {"", "bytes=100-"}},
        {"new-date", "etag=-&modified=10", {"", ""}},
        {"changed", "etag=%22v1%22&partial_etag=%22v2%22", {"", "bytes=100-", ""}},
        {"changed-date", "etag=-&modified=120&partial_modified=60", {"", "bytes=100-", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(publisher::ClearLog());
        ASSERT_TRUE(publisher::Put(ServerPath(c.name), body));
        ASSERT_TRUE(publisher::Fault(ServerPath(c.name), "short", "bytes=100&times=1"));
        ASSERT_TRUE(publisher::Validators(ServerPath(c.name), c.validators));
        EXPECT_TRUE(Download(ServerPath(c.name)));
        EXPECT_TRUE(TargetBytes() == body) << "the file differs from what the server sent";
        EXPECT_EQ(Ranges(), c.ranges);
    }
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"file.bin"});
}

// What a download of a program leaves: only a program replaces an earlier file, and a
// program fetched to be started is held so that nobody can change it until it is let go.
TEST_F(HttpDownloaderTest, OnlyAProgramReplacesAProgramAndAKeptOneCannotBeChanged)
{
    const std::string program = testutil::ReadFileBytes(testutil::ProgramPath("stand_in"));
    ASSERT_FALSE(program.empty());
    ASSERT_TRUE(publisher::Put(ServerPath("portal"), "<html><body>Please sign in to the Wi-Fi</body></html>"));
    ASSERT_TRUE(publisher::Put(ServerPath("tiny"), "MZ"));
    ASSERT_TRUE(publisher::Put(ServerPath("setup.exe"), program));
    m_target = m_dir / "player.exe";
    for (const char* name : {"portal", "tiny"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(testutil::WriteFileBytes(m_target, program));
        EXPECT_FALSE(Download(ServerPath(name)));
        EXPECT_TRUE(TargetBytes() == program) << "the earlier program was replaced";
        EXPECT_EQ(m_downloader.FailureReason(), "not a program");
        KernelHandle kept;
        EXPECT_FALSE(m_downloader.DownloadProgram(publisher::Url(ServerPath(name)).c_str(),
                                                  (m_dir / "setup.bin").c_str(), nullptr, &kept));
        EXPECT_FALSE(kept);
    }
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"player.exe"});

    KernelHandle kept;
    const std::string installer = m_dir / "setup.exe";
    ASSERT_TRUE(m_downloader.DownloadProgram(publisher::Url(ServerPath("setup.exe")).c_str(), installer.c_str(),
                                             nullptr, &kept));
    ASSERT_TRUE(kept);
    EXPECT_TRUE(testutil::ReadFileBytes(installer) == program);
    for (DWORD access : {DWORD(GENERIC_WRITE), DWORD(DELETE)}) {
        HANDLE hOther = ::CreateFileA(installer.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(hOther, INVALID_HANDLE_VALUE) << access;
        EXPECT_EQ(::GetLastError(), DWORD(ERROR_SHARING_VIOLATION)) << access;
        if (hOther != INVALID_HANDLE_VALUE)
            ::CloseHandle(hOther);
    }
    EXPECT_FALSE(::MoveFileA(installer.c_str(), (m_dir / "other.exe").c_str()));
    // Started from its path while held, as an installer that reads itself is.
    EXPECT_EQ(testutil::RunAndWait("\"" + installer + "\""), 0);
    kept.Close();
    EXPECT_TRUE(::DeleteFileA(installer.c_str()));
}

// Replacing an earlier file that another program holds open without sharing its deletion,
// as a virus scanner holds a new program: waited for up to 10 s, then given up with the
// earlier file kept.
TEST_F(HttpDownloaderTest, AnEarlierFileInUseIsReplacedOnceReleasedWithinTenSecondsOrKept)
{
    const std::string body = Pattern(1000);
    ASSERT_TRUE(publisher::Put(ServerPath("f"), body));
    auto hold = [this](DWORD ms) {
        HANDLE hHeld = ::CreateFileA(m_target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
        return std::thread([hHeld, ms] {
            ::Sleep(ms);
            ::CloseHandle(hHeld);
        });
    };

    ASSERT_TRUE(testutil::WriteFileBytes(m_target, kOldBytes));
    std::thread released = hold(3000);
    DWORD start = ::GetTickCount();
    EXPECT_TRUE(Download(ServerPath("f")));
    const DWORD waited = ::GetTickCount() - start;
    released.join();
    EXPECT_GE(waited, 2500u);
    EXPECT_LT(waited, 8000u);
    EXPECT_TRUE(TargetBytes() == body);

    ASSERT_TRUE(testutil::WriteFileBytes(m_target, kOldBytes));
    std::thread held = hold(30000);
    start = ::GetTickCount();
    EXPECT_FALSE(Download(ServerPath("f")));
    const DWORD gaveUp = ::GetTickCount() - start;
    EXPECT_GE(gaveUp, 10000u);
    EXPECT_LT(gaveUp, 15000u);
    EXPECT_NE(m_downloader.FailureReason().Find("in use"), -1) << m_downloader.FailureReason().GetString();
    held.join();
    EXPECT_EQ(TargetBytes(), kOldBytes);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"file.bin"});
}

TEST_F(HttpDownloaderTest, MoreBytesThanDeclaredFailAndCreateNoFile)
{
    const std::string body = Pattern(1000);
    ASSERT_TRUE(publisher::Put(ServerPath("f"), body));
    // The whole body and 500 bytes more; then the whole body under a declared 600. The
    // server sends each in one write with its head, so the excess arrives with the head and
    // WinInet always hands it over (sent apart, it was seen or not depending on timing).
    ASSERT_TRUE(publisher::Fault(ServerPath("f"), "long", "extra=500"));
    EXPECT_FALSE(Download(ServerPath("f")));
    EXPECT_EQ(m_recorder.messages().back(), Progress(150, 1500));
    ASSERT_TRUE(publisher::Fault(ServerPath("f"), "long", "declared=600"));
    EXPECT_FALSE(Download(ServerPath("f")));
    EXPECT_EQ(m_recorder.messages().back(), Progress(166, 1000));
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{});
}

TEST_F(HttpDownloaderTest, AReplyRunningPastItsDeclaredSizeIsNotReadToItsEnd)
{
    // 64 MiB sent where 1000 bytes were declared. Depending on timing, WinInet either
    // keeps to the declared length (then exactly those bytes arrived: success) or hands
    // over more; then reading stops at the first excess and the download fails.
    ASSERT_TRUE(publisher::MakeFile(ServerPath("endless"), 64ull << 20));
    ASSERT_TRUE(publisher::Fault(ServerPath("endless"), "long", "declared=1000"));
    const bool ok = Download(ServerPath("endless"));
    const auto received = DWORD(m_recorder.messages().back().lParam);
    EXPECT_GE(received, 1000u);
    EXPECT_LT(received, 1000u + 1024 * 1024);
    EXPECT_EQ(ok, received == 1000u);
    EXPECT_EQ(TargetBytes(), ok ? Pattern(1000) : std::string());
}

TEST_F(HttpDownloaderTest, PartFilesOfAKilledSetupAreRemovedButNoOtherFile)
{
    ASSERT_TRUE(publisher::Put(ServerPath("f"), Pattern(1000)));
    // Written before this run began: the pattern's, two of other names; then one of this run.
    const char* old[] = {"mlv1A2B.tmp", "mlv12345.tmp", "other.tmp"};
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    ticks.QuadPart -= 864000000000ull;
    FILETIME yesterday = {ticks.LowPart, ticks.HighPart};
    for (const char* name : old) {
        ASSERT_TRUE(testutil::WriteFileBytes(m_dir / name, "x"));
        HANDLE hFile = ::CreateFileA((m_dir / name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_TRUE(::SetFileTime(hFile, &yesterday, &yesterday, &yesterday));
        ::CloseHandle(hFile);
    }
    ASSERT_TRUE(testutil::WriteFileBytes(m_dir / "mlvC3D4.tmp", "x"));
    EXPECT_TRUE(Download(ServerPath("f")));
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"file.bin", "mlv12345.tmp", "mlvC3D4.tmp", "other.tmp"}));
}

TEST_F(HttpDownloaderTest, ATargetThatCannotBeCreatedFailsAfterTheStartMessages)
{
    ASSERT_TRUE(publisher::Put(ServerPath("f"), Pattern(1000)));
    m_target = m_dir / "missing-folder\\file.bin";
    EXPECT_FALSE(Download(ServerPath("f")));
    EXPECT_FALSE(testutil::FileExists(m_target));
    EXPECT_EQ(m_recorder.messages(), (std::vector<Msg>{Size(1000), Progress(0, 0)}));
}

TEST_F(HttpDownloaderTest, OneDownloaderServesSeveralDownloadsInARow)
{
    const std::string first = Pattern(2000), second = Pattern(700);
    ASSERT_TRUE(publisher::Put(ServerPath("first"), first));
    ASSERT_TRUE(publisher::Put(ServerPath("second"), second));

    EXPECT_TRUE(Download(ServerPath("first")));
    EXPECT_EQ(TargetBytes(), first);
    EXPECT_FALSE(Download(ServerPath("missing")));
    EXPECT_EQ(TargetBytes(), first);
    // Without a window the download runs the same and nothing is sent.
    const size_t before = m_recorder.messages().size();
    EXPECT_TRUE(Download(ServerPath("second"), nullptr));
    EXPECT_EQ(TargetBytes(), second);
    EXPECT_EQ(m_recorder.messages().size(), before);
    EXPECT_TRUE(Download(ServerPath("first")));
    EXPECT_EQ(TargetBytes(), first);
    EXPECT_EQ(m_recorder.messages().back(), Progress(100, 2000));
}

TEST_F(HttpDownloaderTest, ASlowTransferSendsATimeMarkAboutEverySecond)
{
    // 200 bytes, one every 25 ms: five seconds in which the percentage moves by halves.
    const size_t size = 200;
    ASSERT_TRUE(publisher::Put(ServerPath("slow"), Pattern(size)));
    ASSERT_TRUE(publisher::Fault(ServerPath("slow"), "trickle", "chunk=1&interval=25"));
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(Download(ServerPath("slow")));
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_EQ(TargetBytes(), Pattern(size));

    const auto msgs = m_recorder.messages();
    const auto ticks = m_recorder.ticks();
    ASSERT_GE(msgs.size(), 3u);
    // A time mark repeats the percentage of the message before it with the bytes written
    // by then; a percentage change always differs from the message before it.
    std::vector<size_t> marks;
    for (size_t i = 2; i + 1 < msgs.size(); ++i) {
        EXPECT_EQ(msgs[i].wParam, WPARAM(msgs[i].lParam * 100 / LPARAM(size))) << msgs[i];
        if (msgs[i].wParam == msgs[i - 1].wParam) {
            EXPECT_GE(msgs[i].lParam, msgs[i - 1].lParam);
            marks.push_back(i);
        }
    }
    ASSERT_GE(marks.size(), 3u) << "transfer took " << elapsed << " ms";
    EXPECT_LE(marks.size(), size_t(elapsed / 1000 + 1));
    EXPECT_GT(ticks[marks[0]] - ticks[1], 990u);
    for (size_t k = 1; k < marks.size(); ++k) {
        EXPECT_GT(ticks[marks[k]] - ticks[marks[k - 1]], 990u) << "marks " << k - 1 << " and " << k;
        EXPECT_GT(msgs[marks[k]].lParam, msgs[marks[k - 1]].lParam);
    }
}

// Three downloads at once, each with a downloader of its own: a server that accepts and
// then stays silent, a body that stalls after its first 1,000 bytes (and its rest after
// 1,000 more), and a body that keeps coming, a byte a second, for longer than the bound.
// Silence is tried once more, never a third time.
TEST_F(HttpDownloaderTest, ThirtySecondsOfSilenceTwiceFailTheDownloadButASlowSteadyBodyArrives)
{
    ASSERT_TRUE(publisher::Put(ServerPath("silent"), Pattern(5000)));
    ASSERT_TRUE(publisher::Fault(ServerPath("silent"), "silent", ""));
    ASSERT_TRUE(publisher::Put(ServerPath("stalled"), Pattern(5000)));
    ASSERT_TRUE(publisher::Fault(ServerPath("stalled"), "silent", "bytes=1000"));
    ASSERT_TRUE(publisher::Put(ServerPath("slow"), Pattern(35)));
    ASSERT_TRUE(publisher::Fault(ServerPath("slow"), "trickle", "chunk=1&interval=1000"));
    ASSERT_TRUE(testutil::WriteFileBytes(m_target, kOldBytes));
    ASSERT_TRUE(testutil::WriteFileBytes(m_dir / "silent.bin", kOldBytes));

    struct Run {
        std::string path, target;
        HWND hNotifyWnd;
        bool ok = false;
        DWORD ms = 0;
    };
    MessageRecorder silentRecorder;
    Run silent{ServerPath("silent"), m_dir / "silent.bin", silentRecorder.hwnd()},
        slow{ServerPath("slow"), m_dir / "slow.bin", nullptr};
    auto download = [](Run* run) {
        CHttpDownloader downloader;
        const DWORD start = ::GetTickCount();
        run->ok = downloader.Download(publisher::Url(run->path).c_str(), run->target.c_str(), run->hNotifyWnd);
        run->ms = ::GetTickCount() - start;
    };
    std::thread silentThread(download, &silent), slowThread(download, &slow);
    const DWORD start = ::GetTickCount();
    const bool stalledOk = Download(ServerPath("stalled"));
    const DWORD stalledMs = ::GetTickCount() - start;
    silentThread.join();
    slowThread.join();

    EXPECT_FALSE(silent.ok);
    EXPECT_FALSE(stalledOk);
    for (const DWORD ms : {silent.ms, stalledMs}) {
        EXPECT_GE(ms, 59000u);
        EXPECT_LT(ms, 75000u);
    }
    // Silence before the reply fails as a refused connection does: no message at all.
    EXPECT_EQ(silentRecorder.messages(), std::vector<Msg>{});
    EXPECT_EQ(testutil::ReadFileBytes(silent.target), kOldBytes);
    EXPECT_EQ(TargetBytes(), kOldBytes);
    const auto msgs = m_recorder.messages();
    ASSERT_GE(msgs.size(), 3u);
    EXPECT_EQ(msgs[0], Size(5000));
    EXPECT_EQ(msgs[1], Progress(0, 0));
    EXPECT_EQ(msgs.back(), Progress(40, 2000));

    EXPECT_TRUE(slow.ok) << "cut off after " << slow.ms << " ms";
    EXPECT_GT(slow.ms, 30000u);
    EXPECT_EQ(testutil::ReadFileBytes(slow.target), Pattern(35));
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"file.bin", "silent.bin", "slow.bin"}));
}

TEST_F(HttpDownloaderTest, AnUnreachableServerIsTriedThreeTimesAndFailsWithoutMessages)
{
    const int port = testutil::UnusedLoopbackPort();
    ASSERT_NE(port, 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/file.bin";
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(m_downloader.Download(url.c_str(), m_target.c_str(), m_recorder.hwnd()));
    const DWORD elapsed = ::GetTickCount() - start;   // the pauses of 1 s and 3 s, and no more
    EXPECT_GE(elapsed, 4000u);
    EXPECT_LT(elapsed, 8000u);
    EXPECT_FALSE(testutil::FileExists(m_target));
    EXPECT_EQ(m_recorder.messages(), std::vector<Msg>{});
}

}  // namespace
