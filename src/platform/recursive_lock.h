#pragma once
// A lock with the semantics of a critical section: the owning thread may take
// it again, and must release it as often as it took it.
#include <cstddef>

namespace Vorn::Platform {

class RecursiveLock {
public:
    RecursiveLock();
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    void Lock();
    void Unlock();
    bool TryLock();

    // Satisfies BasicLockable so std::lock_guard / std::scoped_lock work.
    void lock() { Lock(); }
    void unlock() { Unlock(); }

private:
    // Room for the native object (pthread_mutex_t here, CRITICAL_SECTION on
    // Windows); each implementation checks at compile time that it fits.
    alignas(8) unsigned char storage_[64];
};

}  // namespace Vorn::Platform
