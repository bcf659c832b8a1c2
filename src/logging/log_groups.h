#pragma once
// Log groups: 64 slots of three-letter codes, bit i of a group mask standing
// for slot i. Slots 0-7 are fixed; the others are claimed by registration.
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Vorn {

inline constexpr int kLogGroupSlots = 64;

inline constexpr uint64_t kLogGroupDBG = 1ULL << 0;
inline constexpr uint64_t kLogGroupGEN = 1ULL << 1;
inline constexpr uint64_t kLogGroupXTR = 1ULL << 2;
inline constexpr uint64_t kLogGroupPRF = 1ULL << 3;
inline constexpr uint64_t kLogGroupMEM = 1ULL << 4;
inline constexpr uint64_t kLogGroupDSK = 1ULL << 5;
inline constexpr uint64_t kLogGroupNET = 1ULL << 6;
inline constexpr uint64_t kLogGroupTST = 1ULL << 7;

// The slots and their codes. The module has one, behind the functions below
// (constant-initialised, so logging works while other statics are built); a
// table of one's own starts with only the fixed slots claimed.
class LogGroupTable {
public:
    constexpr LogGroupTable() = default;
    LogGroupTable(const LogGroupTable&) = delete;
    LogGroupTable& operator=(const LogGroupTable&) = delete;

    // The bit of the group with this code (its first three characters),
    // claiming the next free slot for a new code. When all 64 slots are
    // taken a new code gets no group (0), and asking again gives 0 again.
    uint64_t Bit(const char* code);
    // Codes of the set bits, lowest first, separated by ";" (empty for 0).
    // Returns the length the text needs, like snprintf.
    std::size_t MaskText(uint64_t mask, char* out, std::size_t capacity) const;
    // The code in a slot ("???" while unclaimed), or "" outside 0-63.
    const char* Code(int slot) const;

private:
    static constexpr int kFixedSlots = 8;

    int FindSlot(const char* code, int last) const;

    char codes_[kLogGroupSlots][4] = {"DBG", "GEN", "XTR", "PRF", "MEM", "DSK", "NET", "TST"};
    // Last used slot; slots above it read "???".
    std::atomic<int> lastUsed_{kFixedSlots - 1};
    // Claims are serialised so that two threads registering the same new
    // code cannot take two slots for it. A flag, not a std::mutex: a mutex
    // is not constexpr-constructible with every thread library (MinGW's).
    std::atomic_flag claiming_;
};

// The module's table.
uint64_t LogGroupBit(const char* code);
std::size_t LogGroupMaskText(uint64_t mask, char* out, std::size_t capacity);
const char* LogGroupCode(int slot);

}  // namespace Vorn
