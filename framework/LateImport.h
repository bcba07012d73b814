// Binding a program's DLLs beyond the system's KnownDLLs when they are first used, and
// only from the system folder.
//
// Windows looks for an imported DLL that is not a KnownDLL in the program's own folder
// first, before any code of the program runs; the setup and the uninstaller run elevated,
// the one from a downloads folder, the other from a temporary folder, so a DLL placed
// beside them would run with administrator rights. The compiler calls an imported
// function through a pointer named "__imp__<function>@<argument bytes>" (or, without
// dllimport, through an entry named "_<function>@<argument bytes>" that jumps through it;
// x64 names have no decoration), which an import library would have the loader fill at
// start. MELVORA_LATE_IMPORT
// defines both: the pointer leads to a stub that loads the DLL from the system folder
// (LoadSystemLibrary), looks the function up once and calls it. Call sites stay as they
// are, and the import table names only KnownDLLs (tests/build/test_setup_exe.py checks
// that). (The delay-import libraries that binutils' dlltool makes would do the same, but
// the ones it makes here leave their table of addresses empty.)
//
// Each program includes this header in exactly one file of its own, its list of late
// imports (app/LateImports.cpp, uninstall/LateImports.cpp): a function used anywhere in the
// program from one of these DLLs needs its line there; without one the import library
// supplies it and the DLL is bound at start again. Being the program's own object code,
// the definitions are linked before any import library is searched.
#pragma once

#include <windows.h>

#include <atomic>
#include <type_traits>

#include "SystemLibrary.h"

namespace {

struct Comctl32 { static constexpr const char* kFile = "comctl32.dll"; };
struct Crypt32 { static constexpr const char* kFile = "crypt32.dll"; };
struct Oleacc { static constexpr const char* kFile = "oleacc.dll"; };
struct Wininet { static constexpr const char* kFile = "wininet.dll"; };
struct Wintrust { static constexpr const char* kFile = "wintrust.dll"; };

// Loaded on first use. Two threads that get there at once both load it, which only counts
// the same module twice; kept in an atomic rather than a guarded static, whose guard would
// bring the runtime's threads library into the program.
template <typename Dll>
HMODULE ModuleOf()
{
    static std::atomic<HMODULE> s_hModule;
    HMODULE hModule = s_hModule.load(std::memory_order_acquire);
    if (!hModule) {
        hModule = LoadSystemLibrary(Dll::kFile);
        s_hModule.store(hModule, std::memory_order_release);
    }
    return hModule;
}

// Every function bound this way ships with every Windows the programs run on: one that
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
        // Looked up once, as the module is (a second lookup finds the same address).
        static std::atomic<Pointer> s_pFunction;
        Pointer pFunction = s_pFunction.load(std::memory_order_acquire);
        if (!pFunction) {
            pFunction = reinterpret_cast<Pointer>(Resolve(ModuleOf<Dll>(), Name::kFunction));
            s_pFunction.store(pFunction, std::memory_order_release);
        }
        return pFunction(args...);
    }
};

}  // namespace

// The names an import library gives a function: on x86 a stdcall function's pointer is
// "__imp__<function>@<bytes>" and its entry "_<function>@<bytes>"; x64 has one calling
// convention and no decoration, "__imp_<function>" and "<function>". `bytes` is part of
// the x86 names and is checked against the function's declaration there.
#ifdef _WIN64
#define MELVORA_IMPORT_ENTRY(function, bytes) #function
#define MELVORA_IMPORT_JUMP(function, bytes) "\tjmp *__imp_" #function "(%rip)\n"
#define MELVORA_CHECK_ARGUMENT_BYTES(function, bytes)
#else
#define MELVORA_IMPORT_ENTRY(function, bytes) "_" #function "@" #bytes
#define MELVORA_IMPORT_JUMP(function, bytes) "\tjmp *__imp__" #function "@" #bytes "\n"
#define MELVORA_CHECK_ARGUMENT_BYTES(function, bytes) \
    static_assert(ArgumentBytes<decltype(&::function)>::value == bytes, #function ": argument bytes");
#endif
#define MELVORA_IMPORT_POINTER(function, bytes) "__imp_" MELVORA_IMPORT_ENTRY(function, bytes)

// The pointer through which the compiler calls `function` of `Dll`, and the entry a call
// without dllimport (oleacc's functions, for one) jumps to, as an import library would
// have both; `bytes` is the size of the function's arguments on x86.
#define MELVORA_LATE_IMPORT(Dll, function, bytes)                                                      \
    namespace {                                                                                      \
    struct function##Name {                                                                          \
        static constexpr const char* kFunction = #function;                                         \
    };                                                                                               \
    MELVORA_CHECK_ARGUMENT_BYTES(function, bytes)                                                    \
    }                                                                                                \
    extern "C" const void* const lateImport_##function __asm__(MELVORA_IMPORT_POINTER(function, bytes)) = \
        reinterpret_cast<const void*>(&LateBound<Dll, function##Name, decltype(&::function)>::Call); \
    __asm__(".text\n.globl " MELVORA_IMPORT_ENTRY(function, bytes) "\n" MELVORA_IMPORT_ENTRY(function, bytes) \
            ":\n" MELVORA_IMPORT_JUMP(function, bytes));
