// One COM interface reference, released when it goes out of scope.
#pragma once

#include <objbase.h>

template <class T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (m_p)
            m_p->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    // For the calls that hand out a reference: the slot to fill (empty beforehand).
    void** out() { return reinterpret_cast<void**>(&m_p); }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};
