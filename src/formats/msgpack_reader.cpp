#include "formats/msgpack_reader.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/binding_limits.h"
#include "binding/tree_builder.h"
#include "support/message_format.h"

namespace Vorn {

namespace {

constexpr const char* kInvalidData = "Invalid MessagePack data at position %1.";
constexpr const char* kKeyNotString = "Invalid MessagePack data at position %1. Map keys must be strings.";
constexpr const char* kTooDeep = "Invalid MessagePack data at position %1. Nesting is deeper than %2 levels.";
constexpr const char* kNumberTruncated = "Invalid MessagePack data. %1-bit integer value at position %2 is truncated.";
constexpr const char* kStringTruncated = "Invalid MessagePack data. String of size %1 at position %2 is truncated.";
constexpr const char* kBytesTruncated = "Invalid MessagePack data. Raw bytes of size %1 at position %2 are truncated.";

// A big-endian number of Bytes bytes.
template <unsigned Bytes>
uint64_t LoadBigEndian(const uint8_t* bytes) {
#if defined(__GNUC__)
    // One load and one byte swap; compilers do not always see that in the
    // loop below.
    if constexpr (Bytes > 1 && std::endian::native == std::endian::little) {
        using Word = std::conditional_t<Bytes == 2, uint16_t, std::conditional_t<Bytes == 4, uint32_t, uint64_t>>;
        Word word;
        std::memcpy(&word, bytes, sizeof(word));
        if constexpr (Bytes == 2) return __builtin_bswap16(word);
        if constexpr (Bytes == 4) return __builtin_bswap32(word);
        if constexpr (Bytes == 8) return __builtin_bswap64(word);
    }
#endif
    uint64_t value = 0;
    for (unsigned i = 0; i < Bytes; ++i) value = (value << 8) | bytes[i];
    return value;
}

// An open map or array.
struct Frame {
    uint64_t expected;      // items; a map's keys and values count alike
    uint64_t read;          // items begun so far
    std::string_view key;   // a map's pending key, pointing into the input
    bool structure;
};

// One pass over one input: an explicit stack instead of recursion, so no
// input can exhaust the host thread's stack. The tree builder gathers each
// container and makes it one block when it closes.
class MessagePackReader {
public:
    MessagePackReader(const uint8_t* data, std::size_t size)
        : data_(data), size_(size), tree_(result_.value, TreeBuilder::Repeat::Replace) {
        stack_.reserve(16);
    }

    void Run();
    BindingResult& Result() { return result_; }
    std::size_t Position() const { return position_; }

private:
    void Fail(std::string message) {
        // Nothing of the partial tree stays behind the message.
        tree_.Discard();
        result_.Fail(message);
    }
    void ReadKey(Frame& map);
    void ReadValue();
    template <unsigned Bytes>
    bool ReadNumber(uint64_t& number);
    void NumberTruncated(unsigned bytes);
    bool TakeBody(uint64_t length, const char* truncatedMessage, const uint8_t*& body);
    void ReadString(uint64_t length);
    void ReadBytes(uint64_t length);
    void OpenContainer(uint64_t entries, bool structure);

    const uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    std::size_t typeEnd_ = 0;  // just past the last type byte read
    // Items still due in all open containers. Each needs at least one byte
    // of what is left, which bounds what a declared count may claim.
    uint64_t itemsDue_ = 0;
    std::vector<Frame> stack_;
    BindingResult result_;
    TreeBuilder tree_;
};

void MessagePackReader::Run() {
    if (size_ == 0) return;
    ReadValue();
    while (result_.ok && !stack_.empty()) {
        Frame& top = stack_.back();
        if (top.read == top.expected) {
            stack_.pop_back();
            tree_.End();
            continue;
        }
        // A container cut short by the end of input stays as filled.
        if (position_ == size_) {
            tree_.Finish();
            return;
        }
        ++top.read;
        --itemsDue_;
        if (!top.structure) {
            ReadValue();
        } else if (top.read % 2 == 1) {
            ReadKey(top);
        } else {
            tree_.Key(top.key);
            ReadValue();
        }
    }
}

void MessagePackReader::ReadKey(Frame& map) {
    const uint8_t type = data_[position_++];
    typeEnd_ = position_;
    uint64_t length;
    bool complete = true;
    if (type >= 0xA0 && type <= 0xBF) {
        length = type & 0x1F;
    } else if (type == 0xD9) {
        complete = ReadNumber<1>(length);
    } else if (type == 0xDA) {
        complete = ReadNumber<2>(length);
    } else if (type == 0xDB) {
        complete = ReadNumber<4>(length);
    } else {
        Fail(FormatMessage(kKeyNotString, {typeEnd_}));
        return;
    }
    const uint8_t* body;
    if (complete && TakeBody(length, kStringTruncated, body)) {
        map.key = std::string_view(reinterpret_cast<const char*>(body), static_cast<std::size_t>(length));
    }
}

void MessagePackReader::ReadValue() {
    const uint8_t type = data_[position_++];
    typeEnd_ = position_;
    if (type <= 0x7F) return tree_.Signed(type);
    if (type >= 0xE0) return tree_.Signed(static_cast<int8_t>(type));
    if (type <= 0x8F) return OpenContainer(type & 0x0F, true);
    if (type <= 0x9F) return OpenContainer(type & 0x0F, false);
    if (type <= 0xBF) return ReadString(type & 0x1F);
    uint64_t n;
    switch (type) {
        case 0xC0: return tree_.Null();  // the slot keeps what it holds
        case 0xC2: return tree_.Bool(false);
        case 0xC3: return tree_.Bool(true);
        case 0xC4: if (ReadNumber<1>(n)) ReadBytes(n); return;
        case 0xC5: if (ReadNumber<2>(n)) ReadBytes(n); return;
        case 0xC6: if (ReadNumber<4>(n)) ReadBytes(n); return;
        case 0xCA:
            if (ReadNumber<4>(n)) {
                const auto bits = static_cast<uint32_t>(n);
                float value;
                std::memcpy(&value, &bits, sizeof(value));
                tree_.Double(value);
            }
            return;
        case 0xCB:
            if (ReadNumber<8>(n)) {
                double value;
                std::memcpy(&value, &n, sizeof(value));
                tree_.Double(value);
            }
            return;
        case 0xCC: if (ReadNumber<1>(n)) tree_.Unsigned(n); return;
        case 0xCD: if (ReadNumber<2>(n)) tree_.Unsigned(n); return;
        case 0xCE: if (ReadNumber<4>(n)) tree_.Unsigned(n); return;
        case 0xCF: if (ReadNumber<8>(n)) tree_.Unsigned(n); return;
        case 0xD0: if (ReadNumber<1>(n)) tree_.Signed(static_cast<int8_t>(n)); return;
        case 0xD1: if (ReadNumber<2>(n)) tree_.Signed(static_cast<int16_t>(n)); return;
        case 0xD2: if (ReadNumber<4>(n)) tree_.Signed(static_cast<int32_t>(n)); return;
        case 0xD3: if (ReadNumber<8>(n)) tree_.Signed(static_cast<int64_t>(n)); return;
        case 0xD9: if (ReadNumber<1>(n)) ReadString(n); return;
        case 0xDA: if (ReadNumber<2>(n)) ReadString(n); return;
        case 0xDB: if (ReadNumber<4>(n)) ReadString(n); return;
        case 0xDC: if (ReadNumber<2>(n)) OpenContainer(n, false); return;
        case 0xDD: if (ReadNumber<4>(n)) OpenContainer(n, false); return;
        case 0xDE: if (ReadNumber<2>(n)) OpenContainer(n, true); return;
        case 0xDF: if (ReadNumber<4>(n)) OpenContainer(n, true); return;
        default:  // 0xC1 and the ext formats, which nothing here can hold
            Fail(FormatMessage(kInvalidData, {typeEnd_}));
            return;
    }
}

// A big-endian unsigned number of Bytes bytes.
template <unsigned Bytes>
bool MessagePackReader::ReadNumber(uint64_t& number) {
    if (size_ - position_ < Bytes) [[unlikely]] {
        NumberTruncated(Bytes);
        return false;
    }
    number = LoadBigEndian<Bytes>(data_ + position_);
    position_ += Bytes;
    return true;
}

void MessagePackReader::NumberTruncated(unsigned bytes) {
    Fail(FormatMessage(kNumberTruncated, {bytes * 8, position_}));
}

// Checked before anything is copied, so a declared length costs nothing
// unless the input really holds that many bytes.
bool MessagePackReader::TakeBody(uint64_t length, const char* truncatedMessage, const uint8_t*& body) {
    if (size_ - position_ < length) {
        Fail(FormatMessage(truncatedMessage, {length, position_}));
        return false;
    }
    body = data_ + position_;
    position_ += static_cast<std::size_t>(length);
    return true;
}

void MessagePackReader::ReadString(uint64_t length) {
    const uint8_t* body;
    if (!TakeBody(length, kStringTruncated, body)) return;
    tree_.String(std::string_view(reinterpret_cast<const char*>(body), static_cast<std::size_t>(length)));
}

void MessagePackReader::ReadBytes(uint64_t length) {
    const uint8_t* body;
    if (!TakeBody(length, kBytesTruncated, body)) return;
    tree_.Blob(body, static_cast<std::size_t>(length));
}

void MessagePackReader::OpenContainer(uint64_t entries, bool structure) {
    // All decoders share one depth limit, so a tree read here can go
    // wherever a tree from the other formats can.
    if (stack_.size() >= kMaxNestingDepth) {
        Fail(FormatMessage(kTooDeep, {typeEnd_, kMaxNestingDepth}));
        return;
    }
    // 64 bits, so that a map 32's keys and values together cannot wrap.
    const uint64_t items = structure ? entries * 2 : entries;
    // A repeated key's earlier map or array is replaced, not merged into.
    if (structure) {
        tree_.StartStructure();
    } else {
        tree_.StartCollection();
    }
    stack_.push_back(Frame{items, 0, {}, structure});
    itemsDue_ += items;
}

}  // namespace

BindingResult ReadMessagePack(std::string_view bytes, std::size_t* consumed) {
    MessagePackReader reader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    reader.Run();
    if (consumed != nullptr) *consumed = reader.Position();
    return std::move(reader.Result());
}

bool LooksLikeMessagePack(std::string_view bytes) {
    if (bytes.empty()) return false;
    const auto first = static_cast<uint8_t>(bytes.front());
    return (first >= 0x80 && first <= 0x9F) || (first >= 0xDC && first <= 0xDF);
}

}  // namespace Vorn
