// An owned WinInet handle, closed when it goes out of scope. Declare handles in the
// order they are opened: they then close in reverse (request, connection, root).
#pragma once

#include <windows.h>
#include <wininet.h>

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET hInternet = nullptr) : m_hInternet(hInternet) {}
    ~InternetHandle()
    {
        if (m_hInternet)
            ::InternetCloseHandle(m_hInternet);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    HINTERNET get() const { return m_hInternet; }
    explicit operator bool() const { return m_hInternet != nullptr; }

private:
    HINTERNET m_hInternet;
};
