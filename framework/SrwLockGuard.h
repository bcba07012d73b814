// An exclusive hold of a slim reader/writer lock for one scope.
#pragma once

#include <windows.h>

class SrwLockGuard {
public:
    explicit SrwLockGuard(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
    ~SrwLockGuard() { ::ReleaseSRWLockExclusive(&m_lock); }
    SrwLockGuard(const SrwLockGuard&) = delete;
    SrwLockGuard& operator=(const SrwLockGuard&) = delete;

private:
    SRWLOCK& m_lock;
};
