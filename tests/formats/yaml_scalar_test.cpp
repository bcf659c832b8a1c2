#include "formats/yaml_scalar.h"

#include <gtest/gtest.h>

namespace Vorn {
namespace {

// How each scalar is typed is tested through whole documents in
// yaml_reader_test.cpp; this is the rule that needs no document.
TEST(YamlScalarToValue, DoesNothingAfterAFailure) {
    BindingResult result;
    result.Fail("first");
    BindingProperty target;
    target.SetUnsigned(3);
    YamlScalarToValue(result, target, nullptr, "x", 1, false);
    YamlScalarToValue(result, target, "!custom", "x", 1, false);
    EXPECT_EQ(target.Kind(), BindingKind::Unsigned);
    EXPECT_EQ(target.AsUnsigned(), 3u);
    EXPECT_EQ(result.Message(), "first");
}

}  // namespace
}  // namespace Vorn
