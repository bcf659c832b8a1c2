#include <windows.h>

#include <new>

#include "platform/recursive_lock.h"

namespace Vorn::Platform {

namespace {
CRITICAL_SECTION* Native(unsigned char* storage) { return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage)); }
}  // namespace

RecursiveLock::RecursiveLock() {
    static_assert(sizeof(CRITICAL_SECTION) <= sizeof(storage_));
    static_assert(alignof(CRITICAL_SECTION) <= 8);
    InitializeCriticalSection(new (storage_) CRITICAL_SECTION);
}

RecursiveLock::~RecursiveLock() { DeleteCriticalSection(Native(storage_)); }

void RecursiveLock::Lock() { EnterCriticalSection(Native(storage_)); }

void RecursiveLock::Unlock() { LeaveCriticalSection(Native(storage_)); }

bool RecursiveLock::TryLock() { return TryEnterCriticalSection(Native(storage_)) != 0; }

}  // namespace Vorn::Platform
