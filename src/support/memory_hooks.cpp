#include "support/memory_hooks.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/heap.h"
#include "platform/process_info.h"

namespace Vorn {

namespace {

// "k" or "k@file": k decimal (from 1); file, when given, the module's file name.
uint64_t FailingAllocation(const char* text) {
    uint64_t k = 0;
    std::size_t i = 0;
    for (; text[i] >= '0' && text[i] <= '9' && i < 19; ++i) k = k * 10 + static_cast<uint64_t>(text[i] - '0');
    if (text[i] == '\0') return k;
    if (text[i] != '@' || std::strcmp(text + i + 1, Platform::ModuleFileName()) != 0) return 0;
    return k;
}

// Out-of-memory testing (vorn-host's allocation sweep, tests): with
// VORN_FAIL_ALLOCATION=k (or k@<module file name>, for that module only) in
// the environment when the module first allocates, its k-th allocation (from
// 1, reallocations and text copies included) fails as an exhausted heap's
// would. Without it nothing changes.
bool InjectedFailure() {
    static const uint64_t failAt = [] {
        char text[256];
        return Platform::EnvironmentText("VORN_FAIL_ALLOCATION", text, sizeof(text)) ? FailingAllocation(text) : 0;
    }();
    if (failAt == 0) return false;
    static std::atomic<uint64_t> made{0};
    return made.fetch_add(1, std::memory_order_relaxed) + 1 == failAt;
}

void* CountingAllocate(std::size_t bytes, MemoryCounters* counters) {
    if (InjectedFailure()) return nullptr;
    return CountAllocated(Platform::HeapAllocate(bytes), counters);
}

void CountingFree(void* block, MemoryCounters* counters) {
    if (block == nullptr) return;
    std::size_t size = Platform::HeapBlockSize(block);
    Platform::HeapFree(block);
    counters->CountFree(size);
}

void* CountingReallocate(void* block, std::size_t bytes, MemoryCounters* counters) {
    if (bytes != 0 && InjectedFailure()) return nullptr;
    std::size_t oldSize = Platform::HeapBlockSize(block);
    void* moved = Platform::HeapReallocate(block, bytes);
    // A failed reallocation leaves the old block in place: nothing changed hands.
    if (moved == nullptr && bytes != 0) return nullptr;
    counters->CountFree(oldSize);
    // A reallocation to nothing frees the block and may return null.
    return CountAllocated(moved, counters);
}

char* CountingDuplicateText(const char* text, MemoryCounters* counters) {
    if (text != nullptr && InjectedFailure()) return nullptr;
    return static_cast<char*>(CountAllocated(Platform::HeapDuplicateText(text), counters));
}

std::size_t CountingBlockSize(const void* block, MemoryCounters*) { return Platform::HeapBlockSize(block); }

const MemoryHooks kCountingHooks{CountingAllocate, CountingFree, CountingReallocate, CountingDuplicateText,
                                 CountingBlockSize};

struct HookState {
    MemoryHooks hooks;
    MemoryCounters* counters;
    const HookState* previous;  // keeps every earlier set reachable
};

// Constant-initialised, so allocations made while other statics are still
// being constructed already find it.
MemoryCounters g_counters;
HookState g_countingState{kCountingHooks, &g_counters, nullptr};
std::atomic<const HookState*> g_state{nullptr};

const HookState* State() {
    const HookState* state = g_state.load(std::memory_order_acquire);
    return state != nullptr ? state : &g_countingState;
}

}  // namespace

void InstallMemoryHooks(const MemoryHooks& hooks, MemoryCounters* counters) {
    // Hook sets are few and live for the process; the previous one may still
    // be in use by a concurrent call, so it is never freed.
    static std::mutex installMutex;
    std::lock_guard<std::mutex> guard(installMutex);
    auto* state = new (Platform::HeapAllocate(sizeof(HookState)))
        HookState{hooks, counters, g_state.load(std::memory_order_acquire)};
    g_state.store(state, std::memory_order_release);
}

const MemoryHooks& CountingMemoryHooks() { return kCountingHooks; }

void* CountAllocated(void* block, MemoryCounters* counters) {
    // Null is a request the heap refused: no block changed hands, and
    // counting one would leave a live allocation that is never freed.
    if (block == nullptr) return nullptr;
    counters->CountAllocation(Platform::HeapBlockSize(block));
    counters->UpdatePeak();
    return block;
}

MemoryCounters& ModuleMemoryCounters() { return g_counters; }

void* Allocate(std::size_t bytes) {
    const HookState* state = g_state.load(std::memory_order_acquire);
    if (state == nullptr) {
        // First allocation: install the counting hooks unless someone else did.
        const HookState* expected = nullptr;
        g_state.compare_exchange_strong(expected, &g_countingState, std::memory_order_acq_rel);
        state = State();
    }
    return state->hooks.allocate(bytes, state->counters);
}

void Free(void* block) {
    const HookState* state = State();
    state->hooks.free(block, state->counters);
}

void* Reallocate(void* block, std::size_t bytes) {
    const HookState* state = State();
    return state->hooks.reallocate(block, bytes, state->counters);
}

char* DuplicateText(const char* text) {
    const HookState* state = State();
    return state->hooks.duplicateText(text, state->counters);
}

std::size_t BlockSize(const void* block) {
    const HookState* state = State();
    return state->hooks.blockSize(block, state->counters);
}

}  // namespace Vorn
