#include "ProgramPath.h"

#include <windows.h>

#include <vector>

CString OwnProgramPath()
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return CString();
        if (n < buffer.size() - 1)
            return CString(buffer.data(), int(n));
        if (buffer.size() >= 0x10000)
            return CString();   // no path is that long
        buffer.resize(buffer.size() * 2);
    }
}
