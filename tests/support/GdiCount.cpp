#include "support/GdiCount.h"

#include <windows.h>

namespace testutil {

namespace {

bool RunningUnderWine()
{
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

// Wine does not implement GetGuiResources (it answers 0). It keeps the process's GDI handle
// table in memory the process can read, pointed to by the PEB's GdiSharedHandleTable field
// (offset 0x94 in a 32-bit process): 65,536 entries of 24 bytes (object, owner, unique,
// type, flags, user pointer); an entry whose type byte is non-zero is a live object. That
// layout is Wine's own and may change between versions, so this is for tests only, never for
// the program.
int CountWineGdiObjects()
{
    const BYTE* teb = reinterpret_cast<const BYTE*>(::NtCurrentTeb());
    const BYTE* peb = *reinterpret_cast<const BYTE* const*>(teb + 0x30);
    const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + 0x94);
    if (!table)
        return -1;
    const int kEntries = 65536, kEntrySize = 24, kTypeOffset = 14;
    int count = 0;
    for (int i = 0; i < kEntries; ++i)
        count += table[i * kEntrySize + kTypeOffset] != 0;
    return count;
}

}  // namespace

int CountGdiObjects()
{
    if (RunningUnderWine())
        return CountWineGdiObjects();
    return int(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS));
}

}  // namespace testutil
