#include <gtest/gtest.h>

#include "dispatch/identifier.h"
#include "dispatch/method_name.h"

namespace Vorn {
namespace {

TEST(ToIdentifier, DashedNamesAndMethodPaths) {
    const struct {
        const char* method;
        const char* name;
        const char* expected;
    } cases[] = {
        {"", "qel-featured-modes", "QelFeaturedModes"},
        {"", "a.b_c", "ABC"},
        {"POST", "/v1/items/{id}", "PostV1ItemsById"},
        {"GET", "/x/{id}/y", "GetXByIdY"},
        {"", "already!Mixed+case", "AlreadyMixedCase"},  // only the first letter after a separator changes
        {"", "", ""},
        {"", "--", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ToIdentifier(c.method, c.name), c.expected) << c.method << " " << c.name;
}

TEST(MethodName, NamesCodesOneToSevenOnly) {
    EXPECT_STREQ(MethodName(1), "DELETE");
    EXPECT_STREQ(MethodName(2), "GET");
    EXPECT_STREQ(MethodName(7), "PUT");
    EXPECT_STREQ(MethodName(0), "");
    EXPECT_STREQ(MethodName(8), "");
    EXPECT_STREQ(MethodName(0xFFFFFFFFu), "");
    EXPECT_EQ(NormalizeMethodCode(8), 8u);
    EXPECT_EQ(NormalizeMethodCode(9), 0u);
}

}  // namespace
}  // namespace Vorn
