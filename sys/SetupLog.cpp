#include "SetupLog.h"

#include <windows.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "DirectFile.h"
#include "SrwLockGuard.h"

namespace {

// The install thread and the window's thread both write; a line goes out whole.
SRWLOCK g_lock = SRWLOCK_INIT;
HANDLE g_hFile = INVALID_HANDLE_VALUE;

// Code page text as UTF-8. Bytes that do not form a character of the code page come out
// as the system's replacement character rather than as bytes no UTF-8 reader accepts.
std::string ToUtf8(const CString& text)
{
    if (text.IsEmpty())
        return std::string();
    const int cch = ::MultiByteToWideChar(CP_ACP, 0, text, text.GetLength(), nullptr, 0);
    if (cch <= 0)
        return std::string();
    // Not std::wstring: its code would add a tenth to the program's size.
    std::vector<wchar_t> wide(static_cast<size_t>(cch));
    ::MultiByteToWideChar(CP_ACP, 0, text, text.GetLength(), wide.data(), cch);
    const int cb = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), cch, nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return std::string();
    std::string utf8(size_t(cb), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), cch, &utf8[0], cb, nullptr, nullptr);
    return utf8;
}

// A line stays one line whatever a server sent: control characters are written as \xNN.
CString Printable(const CString& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    CString printable;
    for (int i = 0; i < text.GetLength(); ++i) {
        const unsigned char ch = static_cast<unsigned char>(text[i]);
        if (IsControlCharacter(char(ch))) {
            const char escaped[] = {'\\', 'x', kHex[ch >> 4], kHex[ch & 0x0F], '\0'};
            printable += escaped;
        } else {
            printable += char(ch);
        }
    }
    return printable;
}

}  // namespace

SetupLogOpen SetupLog::Open(const CString& strPath)
{
    Close();
    // An earlier log is emptied only once it is known to be a file of its own at this
    // very path: the setup runs elevated, and the path's folder may be anyone's.
    KernelHandle file;
    switch (OpenDirectFile(strPath, GENERIC_WRITE, OPEN_ALWAYS, &file)) {
    case DirectOpen::Opened: break;
    case DirectOpen::Refused: return SetupLogOpen::Refused;
    default: return SetupLogOpen::Failed;
    }
    if (!ReplaceContent(file.get(), nullptr, 0))
        return SetupLogOpen::Failed;
    SrwLockGuard lock(g_lock);
    g_hFile = file.Release();   // closed by Close
    return SetupLogOpen::Opened;
}

void SetupLog::Close()
{
    SrwLockGuard lock(g_lock);
    if (g_hFile != INVALID_HANDLE_VALUE) {
        ::CloseHandle(g_hFile);
        g_hFile = INVALID_HANDLE_VALUE;
    }
}

bool SetupLog::IsOpen()
{
    SrwLockGuard lock(g_lock);
    return g_hFile != INVALID_HANDLE_VALUE;
}

void SetupLog::Write(const char* pszFormat, ...)
{
    if (!IsOpen())
        return;
    CString text;
    va_list args;
    va_start(args, pszFormat);
    text.FormatV(pszFormat, args);
    va_end(args);

    SYSTEMTIME now;
    ::GetLocalTime(&now);
    CString stamp;
    stamp.Format("%04u-%02u-%02u %02u:%02u:%02u.%03u  ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                 now.wSecond, now.wMilliseconds);
    const std::string line = stamp.str() + ToUtf8(Printable(text)) + "\r\n";

    SrwLockGuard lock(g_lock);
    if (g_hFile == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(g_hFile, line.data(), DWORD(line.size()), &written, nullptr);
}
