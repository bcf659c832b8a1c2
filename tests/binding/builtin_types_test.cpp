#include "binding/builtin_types.h"

#include <gtest/gtest.h>

namespace Vorn {
namespace {

class BuiltInTypes : public ::testing::Test {
protected:
    void SetUp() override { registry_.SetUp(); }
    TypeRegistry registry_;
};

TEST_F(BuiltInTypes, FailureEventKeepsAZeroToken) {
    BindingAsyncFailureEvent event{0, "went wrong"};
    BindingResult result;
    NativeToValue(result, event, &registry_);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.value.Count(), 2u);
    EXPECT_EQ(result.value.GetMember("asyncToken").AsUnsigned(99), 0u);
    EXPECT_EQ(result.value.GetMember("error").AsString(), "went wrong");
}

TEST_F(BuiltInTypes, CallbackParametersAreCopiedBothWays) {
    BindingCallbackEvent empty;
    BindingResult emptyResult;
    NativeToValue(emptyResult, empty, &registry_);
    EXPECT_EQ(emptyResult.value.GetMember("parameters").Kind(), BindingKind::Collection);
    EXPECT_EQ(emptyResult.value.GetMember("parameters").Count(), 0u);

    BindingProperty input;
    input.Member("id").SetUnsigned(7);
    input.Member("parameters").Element(0).Member("k").SetString("v");
    input.Member("parameters").Element(2).SetSigned(-1);  // element 1 stays empty
    BindingCallbackEvent event;
    BindingResult result;
    ValueToNative(result, event, input, "<value>", &registry_);
    ASSERT_TRUE(result.ok) << result.Message();
    EXPECT_EQ(event.id, 7u);
    ASSERT_EQ(event.parameters.size(), 3u);
    EXPECT_EQ(event.parameters[0].GetMember("k").AsString(), "v");
    EXPECT_TRUE(event.parameters[1].IsEmpty());
    EXPECT_EQ(event.parameters[2].AsSigned(), -1);
    EXPECT_TRUE(event.parameters[0].OwnsArena());  // copies, independent of the input tree

    BindingResult back;
    NativeToValue(back, event, &registry_);
    EXPECT_EQ(back.value, input);
}

TEST_F(BuiltInTypes, GenericEventsCarryAnyValue) {
    BindingGenericAsyncEvent event;
    event.asyncToken = 12;
    event.data.Element(1).SetBool(true);
    BindingResult result;
    NativeToValue(result, event, &registry_);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.value.GetMember("data"), event.data);
    BindingGenericEvent copy;
    BindingResult in;
    ValueToNative(in, copy, result.value, "<value>", &registry_);
    EXPECT_EQ(copy.data, event.data);
}

}  // namespace
}  // namespace Vorn
