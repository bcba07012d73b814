// Download benchmark, run by tools/bench_download.py (not part of the test suite).
//
//   bench_download.exe <mode> <url> <output file>
//
// Modes:
//   a  CHttpDownloader::Download, its messages received by a window on another thread
//   b  the same loop shape without messages: ask what is available, read exactly that
//      into a fresh buffer, write it
//   c  a plain WinInet loop reading into one fixed 64 KiB buffer
// Every mode runs with the receiving window's thread in place, so the processes differ only
// in the loop (under Wine a process with a window thread was seen to read faster).
// Prints one line: mode, bytes written, milliseconds, messages received, reads (mode b),
// peak working set, and for mode b what putting its file on disk costs (FlushFileBuffers,
// timed after the loop, outside its time): what the downloader pays when it replaces an
// earlier file.
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include "net/HttpDownloader.h"

namespace {

std::atomic<long> g_messages{0};
long g_reads = 0;

// A message-only window on its own thread that takes the download messages as the wizard
// dialog would: one handled message each, nothing more.
class ReceiverWindow {
public:
    ReceiverWindow()
    {
        HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([this, ready] {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = WndProc;
            wc.hInstance = ::GetModuleHandleA(nullptr);
            wc.lpszClassName = "MelvoraBenchReceiver";
            ::RegisterClassA(&wc);
            m_hWnd = ::CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                       nullptr);
            ::SetEvent(ready);
            MSG msg;
            while (m_hWnd && ::GetMessageA(&msg, nullptr, 0, 0) > 0)
                ::DispatchMessageA(&msg);
        });
        ::WaitForSingleObject(ready, 10000);
        ::CloseHandle(ready);
    }
    ~ReceiverWindow()
    {
        if (m_hWnd)
            ::PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
        m_thread.join();
    }
    HWND hwnd() const { return m_hWnd; }

private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_DOWNLOAD_SIZE || message == WM_DOWNLOAD_PROGRESS) {
            ++g_messages;
            return 0;
        }
        if (message == WM_DESTROY)
            ::PostQuitMessage(0);
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }

    std::thread m_thread;
    HWND m_hWnd = nullptr;
};

// The request as the downloader makes it; the reply's status is not looked at here.
struct Request {
    HINTERNET hInternet = nullptr;
    HINTERNET hUrl = nullptr;
    explicit Request(const char* url)
    {
        hInternet = ::InternetOpenA("HTTP", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        if (hInternet)
            hUrl = ::InternetOpenUrlA(hInternet, url, nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                      0);
    }
    ~Request()
    {
        if (hUrl)
            ::InternetCloseHandle(hUrl);
        if (hInternet)
            ::InternetCloseHandle(hInternet);
    }
};

HANDLE CreateOutput(const char* path)
{
    return ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

unsigned long long ReadAvailableLoop(const char* url, const char* path)
{
    Request request(url);
    HANDLE file = CreateOutput(path);
    if (!request.hUrl || file == INVALID_HANDLE_VALUE) {
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
        return 0;
    }
    unsigned long long total = 0;
    for (;;) {
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request.hUrl, &available, 0, 0) || available == 0)
            break;
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[available]);
        DWORD read = 0;
        if (!buffer || !::InternetReadFile(request.hUrl, buffer.get(), available, &read) || read == 0)
            break;
        DWORD written = 0;
        if (!::WriteFile(file, buffer.get(), read, &written, nullptr))
            break;
        total += written;
        ++g_reads;
    }
    ::CloseHandle(file);
    return total;
}

unsigned long long FixedBufferLoop(const char* url, const char* path)
{
    Request request(url);
    HANDLE file = CreateOutput(path);
    if (!request.hUrl || file == INVALID_HANDLE_VALUE) {
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
        return 0;
    }
    static BYTE buffer[64 * 1024];
    unsigned long long total = 0;
    DWORD read = 0;
    while (::InternetReadFile(request.hUrl, buffer, sizeof buffer, &read) && read > 0) {
        DWORD written = 0;
        if (!::WriteFile(file, buffer, read, &written, nullptr))
            break;
        total += written;
    }
    ::CloseHandle(file);
    return total;
}

// Milliseconds FlushFileBuffers takes for a file just written (its data still in the cache).
double FlushMs(const char* path)
{
    HANDLE file = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    const BOOL ok = ::FlushFileBuffers(file);
    ::QueryPerformanceCounter(&end);
    ::CloseHandle(file);
    return ok ? double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart) : -1;
}

unsigned long long FileSize(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || std::strlen(argv[1]) != 1 || !std::strchr("abc", argv[1][0])) {
        std::fprintf(stderr, "usage: bench_download a|b|c <url> <output file>\n");
        return 2;
    }
    const char mode = argv[1][0];
    const char* url = argv[2];
    const char* path = argv[3];

    std::unique_ptr<ReceiverWindow> receiver(new ReceiverWindow);

    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    unsigned long long bytes = 0;
    bool ok = true;
    if (mode == 'a') {
        CHttpDownloader downloader;
        ok = downloader.Download(url, path, receiver->hwnd());
        bytes = FileSize(path);
    } else if (mode == 'b') {
        bytes = ReadAvailableLoop(url, path);
    } else {
        bytes = FixedBufferLoop(url, path);
    }
    ::QueryPerformanceCounter(&end);
    receiver.reset();
    const double flushMs = mode == 'b' ? FlushMs(path) : 0;

    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    const double ms = double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
    std::printf("mode=%c ok=%d bytes=%llu ms=%.1f messages=%ld reads=%ld peak_working_set=%lu flush_ms=%.1f\n", mode,
                ok ? 1 : 0, bytes, ms, g_messages.load(), g_reads, static_cast<unsigned long>(counters.PeakWorkingSetSize),
                flushMs);
    return ok && bytes > 0 ? 0 : 1;
}
