#pragma once
// Packed boundary records place fields off their natural alignment (always on
// 64-bit builds, in arrays of odd-sized records on 32-bit ones). Binding a
// reference to such a field, as the test macros do, is undefined; Field()
// copies it out first: EXPECT_EQ(Field(entry.count), 2u).

namespace Vorn::Testing {

template <typename T>
T Field(T value) {
    return value;
}

}  // namespace Vorn::Testing
