#pragma once
// Records a walk as one line of events, for comparing walks in tests.
#include <string>
#include <string_view>

#include "binding/binding_property.h"

namespace Vorn::Testing {

class RecordingVisitor : public BindingVisitor {
public:
    std::string events;

    void Empty() override { Add("empty "); }
    void Bool(bool v) override { Add(v ? "true " : "false "); }
    void Signed(int64_t v) override { Add("s", std::to_string(v), " "); }
    void Unsigned(uint64_t v) override { Add("u", std::to_string(v), " "); }
    void Float(double v) override { Add("f", std::to_string(v), " "); }
    void String(std::string_view v) override { Add("'", v, "' "); }
    void Blob(std::span<const uint8_t> v) override { Add("blob", std::to_string(v.size()), " "); }
    void Enum(const BindingEnum& v) override { Add("enum", std::to_string(v.value), " "); }
    void BeginCollection(std::size_t n) override { Add("[", std::to_string(n), " "); }
    void BeginElement(std::size_t i) override { Add("<", std::to_string(i), " "); }
    void EndElement(std::size_t i) override { Add(std::to_string(i), "> "); }
    void EndCollection() override { Add("] "); }
    void BeginStructure(std::size_t n) override { Add("{", std::to_string(n), " "); }
    void BeginMember(std::string_view name) override { Add(name, ": "); }
    void EndMember(std::string_view name) override { Add("/", name, " "); }
    void EndStructure() override { Add("} "); }

private:
    // Appends in place: GCC 12 reports a false -Wrestrict for "x" + string
    // once these calls are inlined into some test programs.
    void Add(std::string_view a, std::string_view b = {}, std::string_view c = {}) {
        events.append(a).append(b).append(c);
    }
};

inline std::string Walk(const BindingProperty& value) {
    RecordingVisitor visitor;
    value.Visit(visitor);
    return visitor.events;
}

}  // namespace Vorn::Testing
