// A kernel handle (file, pipe, process, thread), closed when it goes out of scope. Both
// "no handle" values of the system, null and INVALID_HANDLE_VALUE, are held as null.
#pragma once

#include <windows.h>

class KernelHandle {
public:
    KernelHandle() = default;
    explicit KernelHandle(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~KernelHandle() { Close(); }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;

    HANDLE get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    // For the calls that hand out a handle: the slot to fill (empty beforehand).
    HANDLE* out() { return &m_h; }
    // Takes over other's handle, closing this one's first.
    void TakeFrom(KernelHandle& other)
    {
        if (&other == this)
            return;
        Close();
        m_h = other.m_h;
        other.m_h = nullptr;
    }
    // Gives the handle up to the caller, who closes it.
    HANDLE Release()
    {
        const HANDLE h = m_h;
        m_h = nullptr;
        return h;
    }
    void Close()
    {
        if (m_h)
            ::CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h = nullptr;
};
