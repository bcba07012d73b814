// Owns one GDI object and deletes it when it goes. Movable, not copyable.
#pragma once

#include <windows.h>

class CGdiObject {
public:
    CGdiObject() = default;
    explicit CGdiObject(HGDIOBJ hObject) : m_hObject(hObject) {}
    virtual ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    CGdiObject(CGdiObject&& other) noexcept : m_hObject(other.Detach()) {}
    CGdiObject& operator=(CGdiObject&& other) noexcept
    {
        if (this != &other)
            Attach(other.Detach());
        return *this;
    }

    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    // Takes ownership of hObject, deleting what was held before.
    void Attach(HGDIOBJ hObject)
    {
        DeleteObject();
        m_hObject = hObject;
    }
    HGDIOBJ Detach()
    {
        HGDIOBJ h = m_hObject;
        m_hObject = nullptr;
        return h;
    }
    BOOL DeleteObject()
    {
        if (!m_hObject)
            return FALSE;
        const BOOL ok = ::DeleteObject(m_hObject);
        m_hObject = nullptr;
        return ok;
    }

protected:
    HGDIOBJ m_hObject = nullptr;
};
