// The DLLs that Setup.exe uses beyond the system's KnownDLLs, bound when first used and
// only from the system folder.
//
// Windows looks for an imported DLL that is not a KnownDLL in the program's own folder
// first, before any code of the program runs; Setup.exe is started from a downloads
// folder and runs elevated, so a DLL placed beside it would run with administrator
// rights. The compiler calls an imported function through a pointer named
// "__imp__<function>@<argument bytes>" (or, without dllimport, through an entry named
// "_<function>@<argument bytes>" that jumps through it), which an import library would
// have the loader fill at start. This file defines both itself: the pointer leads to a
// stub that loads the DLL from the system folder (LoadSystemLibrary), looks the function
// up once and calls it. Call sites stay as they are, and the import table names only
// KnownDLLs (tests/build/test_setup_exe.py checks that). A function used anywhere in
// Setup.exe from one of these DLLs needs its line below; without one the import library
// supplies it and the DLL is bound at start again. (The delay-import libraries that
// binutils' dlltool makes would do the same, but the ones it makes here leave their
// table of addresses empty.)
//
// Being the program's own object code, these definitions are linked before any import
// library is searched, so the import libraries (which the tests still use) never supply
// these functions.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wininet.h>
#include <wintrust.h>

#include <type_traits>

#include "SystemLibrary.h"

namespace {

struct Comctl32 { static constexpr const char* kFile = "comctl32.dll"; };
struct Crypt32 { static constexpr const char* kFile = "crypt32.dll"; };
struct Oleacc { static constexpr const char* kFile = "oleacc.dll"; };
struct Wininet { static constexpr const char* kFile = "wininet.dll"; };
struct Wintrust { static constexpr const char* kFile = "wintrust.dll"; };

template <typename Dll>
HMODULE ModuleOf()
{
    static const HMODULE hModule = LoadSystemLibrary(Dll::kFile);
    return hModule;
}

// Every one of these functions ships with every Windows Setup.exe runs on: one that
// cannot be found means a damaged system, and the program ends rather than go on.
void* Resolve(HMODULE hModule, const char* pszFunction)
{
    const FARPROC pFunction = hModule ? ::GetProcAddress(hModule, pszFunction) : nullptr;
    if (!pFunction)
        ::ExitProcess(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<void*>(pFunction);
}

// The stack bytes of a stdcall function's arguments: each takes whole 4-byte slots, and
// a reference (REFIID) is passed as a pointer.
template <typename A>
constexpr unsigned kSlotBytes = unsigned((sizeof(std::conditional_t<std::is_reference_v<A>, void*, A>) + 3) / 4 * 4);
template <typename Fn>
struct ArgumentBytes;
template <typename R, typename... A>
struct ArgumentBytes<R(WINAPI*)(A...)> {
    static constexpr unsigned value = (0u + ... + kSlotBytes<A>);
};

template <typename Dll, typename Name, typename Fn>
struct LateBound;
template <typename Dll, typename Name, typename R, typename... A>
struct LateBound<Dll, Name, R(WINAPI*)(A...)> {
    using Pointer = R(WINAPI*)(A...);
    static R WINAPI Call(A... args)
    {
        static const Pointer pFunction = reinterpret_cast<Pointer>(Resolve(ModuleOf<Dll>(), Name::kFunction));
        return pFunction(args...);
    }
};

}  // namespace

// The pointer through which the compiler calls `function` of `Dll`, and the entry a call
// without dllimport (oleacc's functions, for one) jumps to, as an import library would
// have both; `bytes` is the size of the function's arguments, which is part of both names
// (and checked against the function's declaration).
#define MELVORA_LATE_IMPORT(Dll, function, bytes)                                                        \
    namespace {                                                                                        \
    struct function##Name {                                                                            \
        static constexpr const char* kFunction = #function;                                           \
    };                                                                                                 \
    static_assert(ArgumentBytes<decltype(&::function)>::value == bytes, #function ": argument bytes"); \
    }                                                                                                  \
    extern "C" const void* const lateImport_##function __asm__("__imp__" #function "@" #bytes) =       \
        reinterpret_cast<const void*>(&LateBound<Dll, function##Name, decltype(&::function)>::Call);   \
    __asm__(".text\n.globl _" #function "@" #bytes "\n_" #function "@" #bytes                          \
            ":\n\tjmp *__imp__" #function "@" #bytes "\n");

// Common controls: the options tree's images, the controls' window classes.
MELVORA_LATE_IMPORT(Comctl32, ImageList_AddMasked, 12)
MELVORA_LATE_IMPORT(Comctl32, ImageList_Create, 20)
MELVORA_LATE_IMPORT(Comctl32, ImageList_Destroy, 4)
MELVORA_LATE_IMPORT(Comctl32, ImageList_GetImageCount, 4)
MELVORA_LATE_IMPORT(Comctl32, InitCommonControlsEx, 4)
// Accessibility: what the shortcut check boxes tell assistive technology.
MELVORA_LATE_IMPORT(Oleacc, CreateStdAccessibleObject, 16)
MELVORA_LATE_IMPORT(Oleacc, LresultFromObject, 12)
// Every request to the publisher's servers.
MELVORA_LATE_IMPORT(Wininet, HttpOpenRequestA, 32)
MELVORA_LATE_IMPORT(Wininet, HttpQueryInfoA, 20)
MELVORA_LATE_IMPORT(Wininet, HttpSendRequestA, 20)
MELVORA_LATE_IMPORT(Wininet, InternetCloseHandle, 4)
MELVORA_LATE_IMPORT(Wininet, InternetConnectA, 32)
MELVORA_LATE_IMPORT(Wininet, InternetCrackUrlA, 16)
MELVORA_LATE_IMPORT(Wininet, InternetOpenA, 20)
MELVORA_LATE_IMPORT(Wininet, InternetQueryDataAvailable, 16)
MELVORA_LATE_IMPORT(Wininet, InternetQueryOptionA, 16)
MELVORA_LATE_IMPORT(Wininet, InternetReadFile, 16)
MELVORA_LATE_IMPORT(Wininet, InternetSetOptionA, 16)
MELVORA_LATE_IMPORT(Wininet, InternetSetStatusCallbackA, 8)
// The signer check of a build that names one.
MELVORA_LATE_IMPORT(Wintrust, WinVerifyTrust, 12)
MELVORA_LATE_IMPORT(Wintrust, WTHelperGetProvSignerFromChain, 16)
MELVORA_LATE_IMPORT(Wintrust, WTHelperProvDataFromStateData, 4)
MELVORA_LATE_IMPORT(Crypt32, CertRDNValueToStrW, 16)
MELVORA_LATE_IMPORT(Crypt32, CryptDecodeObjectEx, 32)
MELVORA_LATE_IMPORT(Crypt32, CryptHashPublicKeyInfo, 28)
