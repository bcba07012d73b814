#include "CWinThread.h"

#include <process.h>

unsigned __stdcall CWinThread::ThreadEntry(void* pParam)
{
    CWinThread* pThread = static_cast<CWinThread*>(pParam);
    const UINT code = pThread->m_pfnThreadProc(pThread->m_pThreadParams);
    ::CloseHandle(pThread->m_hThread);
    delete pThread;
    return code;
}

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority, UINT nStackSize,
                           DWORD dwCreateFlags, LPSECURITY_ATTRIBUTES lpSecurityAttrs)
{
    CWinThread* pThread = new CWinThread;
    pThread->m_pfnThreadProc = pfnThreadProc;
    pThread->m_pThreadParams = pParam;
    // Start suspended, so the object is complete before the thread can delete it.
    unsigned id = 0;
    const uintptr_t h = ::_beginthreadex(lpSecurityAttrs, nStackSize, &CWinThread::ThreadEntry, pThread,
                                         CREATE_SUSPENDED, &id);
    if (!h) {
        delete pThread;
        return nullptr;
    }
    pThread->m_hThread = reinterpret_cast<HANDLE>(h);
    pThread->m_nThreadID = id;
    ::SetThreadPriority(pThread->m_hThread, nPriority);
    if (!(dwCreateFlags & CREATE_SUSPENDED))
        ::ResumeThread(pThread->m_hThread);
    return pThread;
}
