// Objects past the sizes the readers sort in place: repeated keys under each
// reader's rule, members added after a read, and very large objects in
// ascending and descending order.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/json_reader.h"
#include "formats/json_writer.h"
#include "formats/msgpack_reader.h"

namespace Vorn {
namespace {

std::string Key(uint32_t i) {
    char name[16];
    std::snprintf(name, sizeof(name), "k%06u", i);
    return name;
}

// {"k<count-1>": ..., ..., "k000000": ...}, each holding its number, with
// `repeat` given twice: first as {"first":1}, last as {"second":2}.
std::string DescendingJson(uint32_t count, uint32_t repeat) {
    std::string text = "{";
    text += "\"" + Key(repeat) + "\":{\"first\":1},";
    for (uint32_t i = count; i-- > 0;) {
        if (i != repeat) text += "\"" + Key(i) + "\":" + std::to_string(i) + ",";
    }
    text += "\"" + Key(repeat) + "\":{\"second\":2}}";
    return text;
}

// The same as MessagePack: a map 32 header, fixstr keys, values as above.
std::string DescendingMessagePack(uint32_t count, uint32_t repeat) {
    std::string bytes;
    auto put32 = [&](uint32_t n) {
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(n >> shift));
    };
    auto key = [&](const std::string& name) {
        bytes.push_back(static_cast<char>(0xA0 | name.size()));
        bytes += name;
    };
    bytes.push_back(static_cast<char>(0xDF));
    put32(count + 1);
    key(Key(repeat));
    bytes += "\x81\xA5" "first\x01";
    for (uint32_t i = count; i-- > 0;) {
        if (i == repeat) continue;
        key(Key(i));
        bytes.push_back(static_cast<char>(0xCE));
        put32(i);
    }
    key(Key(repeat));
    bytes += "\x81\xA6" "second\x02";
    return bytes;
}

void ExpectAscendingNumbered(const BindingProperty& v, uint32_t count, uint32_t repeat) {
    ASSERT_EQ(v.Count(), count);
    uint32_t i = 0;
    for (const BindingMember member : *v.StructureMembers()) {
        ASSERT_EQ(member.first->View(), Key(i));
        if (i != repeat) {
            EXPECT_EQ(member.second.AsUnsigned(), i);
        }
        ++i;
    }
}

// After a read: a member inserted among the others, one before all, one
// found again; the order and every lookup hold.
void ExpectInsertionsAfterTheRead(BindingProperty& v, uint32_t count) {
    v.Member(Key(count / 2) + "x").SetBool(true);
    v.Member("a").SetBool(true);
    v.Member(Key(count - 1)).SetUnsigned(7);
    EXPECT_EQ(v.Count(), count + 2);
    EXPECT_EQ(v.GetMember(Key(count - 1)).AsUnsigned(), 7u);
    EXPECT_TRUE(v.GetMember(Key(count / 2) + "x").AsBool());
    EXPECT_EQ(v.GetMember(Key(count / 2)).AsUnsigned(), count / 2);
    std::string previous;
    std::size_t seen = 0;
    for (const BindingMember member : *v.StructureMembers()) {
        EXPECT_LT(previous, std::string(member.first->View()));
        previous = std::string(member.first->View());
        ++seen;
    }
    EXPECT_EQ(seen, count + 2);
}

TEST(LargeObjects, JsonMergesARepeatedObjectAcrossALargeObject) {
    for (uint32_t count : {40u, 150000u}) {
        SCOPED_TRACE(count);
        BindingResult read = DeserializeJson(DescendingJson(count, 17));
        ASSERT_TRUE(read.ok) << read.Message();
        ExpectAscendingNumbered(read.value, count, 17);
        EXPECT_EQ(SerializeJson(read.value.GetMember(Key(17)), nullptr), "{\"first\":1,\"second\":2}");
        ExpectInsertionsAfterTheRead(read.value, count);
    }
}

TEST(LargeObjects, MessagePackReplacesARepeatedMapAcrossALargeObject) {
    for (uint32_t count : {40u, 150000u}) {
        SCOPED_TRACE(count);
        BindingResult read = ReadMessagePack(DescendingMessagePack(count, 17));
        ASSERT_TRUE(read.ok) << read.Message();
        ExpectAscendingNumbered(read.value, count, 17);
        EXPECT_EQ(SerializeJson(read.value.GetMember(Key(17)), nullptr), "{\"second\":2}");
        ExpectInsertionsAfterTheRead(read.value, count);
    }
}

TEST(LargeObjects, AscendingObjectsReadAsTheyCome) {
    std::string text = "{";
    for (uint32_t i = 0; i < 100000; ++i) text += (i == 0 ? "\"" : ",\"") + Key(i) + "\":" + std::to_string(i);
    text += ",\"" + Key(5) + "\":\"again\"}";  // a scalar repeated after many: overwritten in place
    BindingResult read = DeserializeJson(text);
    ASSERT_TRUE(read.ok) << read.Message();
    ASSERT_EQ(read.value.Count(), 100000u);
    EXPECT_EQ(read.value.GetMember(Key(5)).AsString(), "again");
    EXPECT_EQ(read.value.GetMember(Key(99999)).AsUnsigned(), 99999u);
    ExpectInsertionsAfterTheRead(read.value, 100000);
}

}  // namespace
}  // namespace Vorn
