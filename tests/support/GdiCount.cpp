#include "support/GdiCount.h"

#include <windows.h>
#include <winternl.h>

namespace testutil {

namespace {

bool RunningUnderWine()
{
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

// Wine does not implement GetGuiResources (it answers 0). It keeps the process's GDI handle
// table in memory the process can read, pointed to by the PEB's GdiSharedHandleTable field
// (offset 0x94 in a 32-bit process, 0xF8 in a 64-bit one): 65,536 entries of 24 bytes (object, owner, unique,
// type, flags, user pointer); an entry whose type byte is non-zero is a live object. That
// layout is Wine's own and may change between versions, so this is for tests only, never for
// the program.
// GCC 12 takes NtCurrentTeb()'s read of the segment register for a read of address 0.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
int CountWineGdiObjects()
{
#ifdef _WIN64
    const size_t kHandleTableField = 0xF8;
#else
    const size_t kHandleTableField = 0x94;
#endif
    const BYTE* peb = reinterpret_cast<const BYTE*>(::NtCurrentTeb()->ProcessEnvironmentBlock);
    const BYTE* table = *reinterpret_cast<const BYTE* const*>(peb + kHandleTableField);
    if (!table)
        return -1;
    const int kEntries = 65536, kEntrySize = 24, kTypeOffset = 14;
    int count = 0;
    for (int i = 0; i < kEntries; ++i)
        count += table[i * kEntrySize + kTypeOffset] != 0;
    return count;
}
#pragma GCC diagnostic pop

}  // namespace

int CountGdiObjects()
{
    if (RunningUnderWine())
        return CountWineGdiObjects();
    return int(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS));
}

}  // namespace testutil
