// What the programs take from the C++ runtime where it would otherwise throw: memory, and
// the library's reports of a misuse (an index out of range, a length beyond the maximum).
//
// The programs are built without exceptions: they never throw and never catch, so a
// thrown std::bad_alloc could only end them through std::terminate, which abort()s with
// exit code 3 (the setup's code for "cancelled"). Here each such case ends the program at
// once with a code of its own instead, and with it stay out of the program the runtime's
// exception objects, its unwinder and the name demangler of its terminate handler (about a
// third of what the programs were). The allocation functions are the replaceable ones of
// the language; the std::__throw_* functions are where the standard library's templates
// go, built without exceptions, when they would throw (bits/functexcept.h).
//
// The library's own copy of std::string and std::wstring is built with exceptions: using
// it would bring all of the above back. The programs' copy is instantiated here, built as
// the rest of their code is, and the linker takes it before it looks into the library.
//
// Linked into Setup.exe and Uninstall.exe only (PROGRAM_ONLY): the tests keep the full
// runtime, exceptions included.
#include <windows.h>

#include <bits/functexcept.h>   // where the library declares the std::__throw_* functions
#include <cstdlib>
#include <new>
#include <string>

namespace {

// Out of memory: nothing the program could still do would work.
[[noreturn]] void OutOfMemory()
{
    ::ExitProcess(ERROR_NOT_ENOUGH_MEMORY);
}

// A misuse of a library type: a fault of the program, which must not go on.
[[noreturn]] void LibraryMisuse()
{
    ::ExitProcess(ERROR_INTERNAL_ERROR);
}

void* Allocate(std::size_t size)
{
    return std::malloc(size ? size : 1);
}

}  // namespace

void* operator new(std::size_t size)
{
    void* p = Allocate(size);
    if (!p)
        OutOfMemory();
    return p;
}

void* operator new[](std::size_t size)
{
    return ::operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

namespace std {

void __throw_bad_alloc()
{
    OutOfMemory();
}

void __throw_bad_array_new_length()
{
    OutOfMemory();
}

void __throw_length_error(const char*)
{
    OutOfMemory();   // a size beyond what can be allocated
}

void __throw_logic_error(const char*)
{
    LibraryMisuse();
}

void __throw_out_of_range(const char*)
{
    LibraryMisuse();
}

void __throw_out_of_range_fmt(const char*, ...)
{
    LibraryMisuse();
}

void __throw_invalid_argument(const char*)
{
    LibraryMisuse();
}

void __throw_bad_function_call()
{
    LibraryMisuse();
}

}  // namespace std

template class std::basic_string<char>;
template class std::basic_string<wchar_t>;
