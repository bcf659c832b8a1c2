#include "host-simulator/hostile_payloads.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "binding/flat_value.h"

namespace Vorn::HostSimulator {

namespace {

// Deep enough that a reader recursing without a limit runs out of any host
// thread's stack (a few hundred bytes a level against a 1 MiB stack).
constexpr std::size_t kDeepNesting = 100000;
constexpr uint32_t kHugeCount = std::numeric_limits<uint32_t>::max();

BindingFlatValue Kind(int32_t kind) {
    BindingFlatValue value;
    std::memset(static_cast<void*>(&value), 0, sizeof(value));
    value.kind = kind;
    return value;
}

BindingFlatValue Text(int32_t kind, const char* text, uint32_t length) {
    BindingFlatValue value = Kind(kind);
    value.payload.string.text = text;
    value.payload.string.length = length;
    return value;
}

BindingFlatValue Collection(BindingFlatValue* items, uint32_t count) {
    BindingFlatValue value = Kind(kFlatCollection);
    value.payload.collection.items = items;
    value.payload.collection.count = count;
    return value;
}

BindingFlatValue Structure(BindingFlatMember* members, uint32_t count) {
    BindingFlatValue value = Kind(kFlatStructure);
    value.payload.structure.members = members;
    value.payload.structure.count = count;
    return value;
}

void SetMember(BindingFlatMember& member, const char* name, const BindingFlatValue& value) {
    member.name = name;
    member.ownsName = 0;
    StoreMemberValue(member, value);
}

}  // namespace

BindingFlatValue* HostilePayloads::Values(std::size_t count) {
    return values_.emplace_back(count, Kind(kFlatEmpty)).data();
}

BindingFlatMember* HostilePayloads::Members(std::size_t count) {
    std::vector<BindingFlatMember>& members = members_.emplace_back(count);
    for (BindingFlatMember& member : members) SetMember(member, "", Kind(kFlatEmpty));
    return members.data();
}

HostilePayloads::HostilePayloads() {
    auto add = [this](std::string name, const BindingFlatValue& value) { payloads_.push_back({std::move(name), value}); };

    // Kinds that are valid but not the structure an event carries.
    add("an empty value", Kind(kFlatEmpty));
    BindingFlatValue boolean = Kind(kFlatBool);
    boolean.payload.boolean = 1;
    add("a bool", boolean);
    BindingFlatValue number = Kind(kFlatSigned);
    number.payload.i = -1;
    add("a signed number", number);
    BindingFlatValue notANumber = Kind(kFlatFloat);
    notANumber.payload.d = std::nan("");
    add("a float NaN", notANumber);
    add("a text", Text(kFlatBorrowedString, "not an event", 12));

    // Kinds no flat value has.
    add("unknown kind 11", Kind(11));
    add("unknown kind 99", Kind(99));
    add("unknown kind -1", Kind(-1));

    // Null texts and data.
    add("a borrowed text that is null", Text(kFlatBorrowedString, nullptr, 0));
    add("an owned text that is null with length 12", Text(kFlatOwnedString, nullptr, 12));
    BindingFlatValue blob = Kind(kFlatBorrowedBlob);
    blob.payload.blob.data = nullptr;
    blob.payload.blob.length = 4096;
    add("a blob that is null with length 4096", blob);
    BindingFlatValue* nullTexts = Values(3);
    for (int i = 0; i < 3; ++i) nullTexts[i] = Text(kFlatBorrowedString, nullptr, 0);
    add("a collection of null texts", Collection(nullTexts, 3));
    BindingFlatMember* nullNames = Members(3);
    SetMember(nullNames[0], nullptr, Text(kFlatBorrowedString, nullptr, 0));
    SetMember(nullNames[1], "uri", Text(kFlatBorrowedString, nullptr, 0));
    SetMember(nullNames[2], "eventType", Text(kFlatOwnedString, nullptr, 6));
    add("a structure with null member names and texts", Structure(nullNames, 3));

    // The shape of a resource event with members of the wrong kinds.
    BindingFlatMember* wrongKinds = Members(3);
    BindingFlatValue uri = Kind(kFlatSigned);
    uri.payload.i = 5;
    SetMember(wrongKinds[0], "uri", uri);
    SetMember(wrongKinds[1], "eventType", Collection(nullptr, 0));
    SetMember(wrongKinds[2], "data", Kind(77));
    add("an event structure whose members have the wrong kinds", Structure(wrongKinds, 3));
    BindingFlatMember* inner = Members(1);
    SetMember(inner[0], "x", Kind(42));
    BindingFlatValue* list = Values(1);
    list[0] = Structure(inner, 1);
    BindingFlatMember* event = Members(3);
    SetMember(event[0], "uri", Text(kFlatBorrowedString, "/hostile/v1/payload", 19));
    SetMember(event[1], "eventType", Text(kFlatBorrowedString, "Update", 6));
    SetMember(event[2], "data", Collection(list, 1));
    add("an event whose data holds an unknown kind two levels down", Structure(event, 3));

    // Nesting far past any sensible limit.
    BindingFlatValue* chain = Values(kDeepNesting);
    for (std::size_t i = 0; i + 1 < kDeepNesting; ++i) chain[i] = Collection(&chain[i + 1], 1);
    add(std::to_string(kDeepNesting) + " nested collections", chain[0]);
    BindingFlatMember* nested = Members(kDeepNesting);
    for (std::size_t i = 0; i + 1 < kDeepNesting; ++i) SetMember(nested[i], "nested", Structure(&nested[i + 1], 1));
    add(std::to_string(kDeepNesting) + " nested structures", Structure(nested, 1));

    // Counts that no array behind them could hold: on the host's 32-bit
    // interface 2^32 - 1 records do not fit in the address space.
    add("a collection of 4294967295 items with a null array", Collection(nullptr, kHugeCount));
    BindingFlatValue* one = Values(1);
    one[0] = Kind(kFlatBool);
    add("a collection claiming 4294967295 items with an array of one", Collection(one, kHugeCount));
    add("a structure of 4294967295 members with a null array", Structure(nullptr, kHugeCount));
    BindingFlatMember* member = Members(1);
    add("a structure claiming 4294967295 members with an array of one", Structure(member, kHugeCount));
}

const HostilePayload* FindHostilePayload(std::string_view name) {
    // Made once (its nesting alone is 200000 records) and kept for the
    // process's life.
    static const HostilePayloads* const shared = new HostilePayloads();
    for (const HostilePayload& payload : shared->All()) {
        if (payload.name == name) return &payload;
    }
    return nullptr;
}

}  // namespace Vorn::HostSimulator
