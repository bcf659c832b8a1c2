#include "logging/log_groups.h"

#include <cstring>

namespace Vorn {

// The fixed codes stand in the slots of their kLogGroup bits.
static_assert(kLogGroupTST == 1ULL << 7, "eight fixed slots, the last one TST");

namespace {

constinit LogGroupTable g_table;

// Holds a table's claim flag for a scope; a waiting thread sleeps until the
// holder lets go.
class ClaimGuard {
public:
    explicit ClaimGuard(std::atomic_flag& flag) : flag_(flag) {
        while (flag_.test_and_set(std::memory_order_acquire)) flag_.wait(true, std::memory_order_relaxed);
    }
    ~ClaimGuard() {
        flag_.clear(std::memory_order_release);
        flag_.notify_one();
    }
    ClaimGuard(const ClaimGuard&) = delete;
    ClaimGuard& operator=(const ClaimGuard&) = delete;

private:
    std::atomic_flag& flag_;
};

}  // namespace

int LogGroupTable::FindSlot(const char* code, int last) const {
    for (int i = 0; i <= last; ++i) {
        if (std::strncmp(codes_[i], code, 3) == 0) return i;
    }
    return -1;
}

uint64_t LogGroupTable::Bit(const char* code) {
    if (code == nullptr) return 0;
    int last = lastUsed_.load(std::memory_order_acquire);
    int slot = FindSlot(code, last);
    if (slot >= 0) return 1ULL << slot;

    ClaimGuard guard(claiming_);
    last = lastUsed_.load(std::memory_order_relaxed);
    slot = FindSlot(code, last);
    if (slot >= 0) return 1ULL << slot;
    if (last + 1 >= kLogGroupSlots) return 0;
    slot = last + 1;
    std::strncpy(codes_[slot], code, 3);
    codes_[slot][3] = '\0';
    lastUsed_.store(slot, std::memory_order_release);
    return 1ULL << slot;
}

const char* LogGroupTable::Code(int slot) const {
    if (slot < 0 || slot >= kLogGroupSlots) return "";
    return slot <= lastUsed_.load(std::memory_order_acquire) ? codes_[slot] : "???";
}

std::size_t LogGroupTable::MaskText(uint64_t mask, char* out, std::size_t capacity) const {
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
        for (const char* c = Code(slot); *c != '\0'; ++c) put(*c);
    }
    if (capacity != 0) out[length < capacity ? length : capacity - 1] = '\0';
    return length;
}

uint64_t LogGroupBit(const char* code) { return g_table.Bit(code); }

std::size_t LogGroupMaskText(uint64_t mask, char* out, std::size_t capacity) {
    return g_table.MaskText(mask, out, capacity);
}

const char* LogGroupCode(int slot) { return g_table.Code(slot); }

}  // namespace Vorn
