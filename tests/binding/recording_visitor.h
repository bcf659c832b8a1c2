#pragma once
// Records a walk as one line of events, for comparing walks in tests.
#include <string>

#include "binding/binding_property.h"

namespace Vorn::Testing {

class RecordingVisitor : public BindingVisitor {
public:
    std::string events;

    void Empty() override { events += "empty "; }
    void Bool(bool v) override { events += v ? "true " : "false "; }
    void Signed(int64_t v) override { events += "s" + std::to_string(v) + " "; }
    void Unsigned(uint64_t v) override { events += "u" + std::to_string(v) + " "; }
    void Float(double v) override { events += "f" + std::to_string(v) + " "; }
    void String(std::string_view v) override { events += "'" + std::string(v) + "' "; }
    void Blob(std::span<const uint8_t> v) override { events += "blob" + std::to_string(v.size()) + " "; }
    void Enum(const BindingEnum& v) override { events += "enum" + std::to_string(v.value) + " "; }
    void BeginCollection(std::size_t n) override { events += "[" + std::to_string(n) + " "; }
    void BeginElement(std::size_t i) override { events += "<" + std::to_string(i) + " "; }
    void EndElement(std::size_t i) override { events += std::to_string(i) + "> "; }
    void EndCollection() override { events += "] "; }
    void BeginStructure(std::size_t n) override { events += "{" + std::to_string(n) + " "; }
    void BeginMember(std::string_view name) override { events += std::string(name) + ": "; }
    void EndMember(std::string_view name) override { events += "/" + std::string(name) + " "; }
    void EndStructure() override { events += "} "; }
};

inline std::string Walk(const BindingProperty& value) {
    RecordingVisitor visitor;
    value.Visit(visitor);
    return visitor.events;
}

}  // namespace Vorn::Testing
