// COM for the calling thread for one scope; uninitialised only if this scope initialised
// it (a thread that already has COM, in any apartment, keeps it as it was).
#pragma once

#include <objbase.h>

class ComScope {
public:
    ComScope() : m_hr(::CoInitialize(nullptr)) {}
    ~ComScope()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT m_hr;
};
