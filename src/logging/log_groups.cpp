#include "logging/log_groups.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace Vorn {

namespace {

char g_codes[kLogGroupSlots][4] = {"DBG", "GEN", "XTR", "PRF", "MEM", "DSK", "NET", "TST"};
// Last used slot; slots above it read "???".
std::atomic<int> g_lastUsed{7};
// Claims are serialised so that two threads registering the same new code
// cannot take two slots for it.
std::mutex g_claimMutex;

int FindSlot(const char* code, int last) {
    for (int i = 0; i <= last; ++i) {
        if (std::strncmp(g_codes[i], code, 3) == 0) return i;
    }
    return -1;
}

}  // namespace

uint64_t LogGroupBit(const char* code) {
    if (code == nullptr) return 0;
    int last = g_lastUsed.load(std::memory_order_acquire);
    int slot = FindSlot(code, last);
    if (slot >= 0) return 1ULL << slot;

    std::lock_guard<std::mutex> guard(g_claimMutex);
    last = g_lastUsed.load(std::memory_order_relaxed);
    slot = FindSlot(code, last);
    if (slot >= 0) return 1ULL << slot;
    if (last + 1 >= kLogGroupSlots) return 0;
    slot = last + 1;
    std::strncpy(g_codes[slot], code, 3);
    g_codes[slot][3] = '\0';
    g_lastUsed.store(slot, std::memory_order_release);
    return 1ULL << slot;
}

const char* LogGroupCode(int slot) {
    if (slot < 0 || slot >= kLogGroupSlots) return "";
    return slot <= g_lastUsed.load(std::memory_order_acquire) ? g_codes[slot] : "???";
}

std::size_t LogGroupMaskText(uint64_t mask, char* out, std::size_t capacity) {
    std::size_t length = 0;
    auto put = [&](char c) {
        if (length + 1 < capacity) out[length] = c;
        ++length;
    };
    bool first = true;
    for (int slot = 0; slot < kLogGroupSlots; ++slot) {
        if ((mask & (1ULL << slot)) == 0) continue;
        if (!first) put(';');
        first = false;
        for (const char* c = LogGroupCode(slot); *c != '\0'; ++c) put(*c);
    }
    if (capacity != 0) out[length < capacity ? length : capacity - 1] = '\0';
    return length;
}

}  // namespace Vorn
