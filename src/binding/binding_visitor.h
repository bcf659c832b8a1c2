#pragma once
// A depth-first walk over a value: the sixteen operations in the order a
// value calls them. Structure members arrive in ascending byte order of their
// names. Every operation does nothing unless overridden.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace Vorn {

struct BindingEnum;

class BindingVisitor {
public:
    virtual ~BindingVisitor() = default;

    virtual void Empty() {}
    virtual void Bool(bool) {}
    virtual void Signed(int64_t) {}
    virtual void Unsigned(uint64_t) {}
    virtual void Float(double) {}
    virtual void String(std::string_view) {}
    virtual void Blob(std::span<const uint8_t>) {}
    virtual void Enum(const BindingEnum&) {}
    virtual void BeginCollection(std::size_t /*count*/) {}
    virtual void BeginElement(std::size_t /*index*/) {}
    virtual void EndElement(std::size_t /*index*/) {}
    virtual void EndCollection() {}
    virtual void BeginStructure(std::size_t /*count*/) {}
    virtual void BeginMember(std::string_view /*name*/) {}
    virtual void EndMember(std::string_view /*name*/) {}
    virtual void EndStructure() {}
};

}  // namespace Vorn
