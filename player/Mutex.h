// A mutex and its lock guard that carry the thread-safety attributes (libstdc++'s std::mutex
// carries none, so the compiler could not follow a std::lock_guard).
#pragma once

#include "ThreadSafety.h"

#include <mutex>

class CAPABILITY("mutex") TMutex {
public:
    void lock() ACQUIRE() { fMutex.lock(); }
    void unlock() RELEASE() { fMutex.unlock(); }

private:
    std::mutex fMutex;
};

class SCOPED_CAPABILITY TLockGuard {
public:
    explicit TLockGuard(TMutex& mutex) ACQUIRE(mutex) : fMutex(mutex) { fMutex.lock(); }
    ~TLockGuard() RELEASE() { fMutex.unlock(); }
    TLockGuard(const TLockGuard&) = delete;
    TLockGuard& operator=(const TLockGuard&) = delete;

private:
    TMutex& fMutex;
};
