#include "OneSetupGuard.h"

#include "ProductConstants.h"

OneSetupGuard::OneSetupGuard() : m_hMutex(::CreateMutexA(nullptr, FALSE, kOneSetupMutex))
{
    // A mutex that another user's program made may refuse us access: it exists as well.
    const DWORD error = ::GetLastError();
    m_bOtherRuns = m_hMutex ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
}

OneSetupGuard::~OneSetupGuard()
{
    // The mutex goes when the last program holding it ends.
    if (m_hMutex)
        ::CloseHandle(m_hMutex);
}
