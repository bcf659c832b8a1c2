#include "plugin/request_result.h"

namespace Vorn {

RequestError::RequestError(int32_t code, const char* messageTemplate, std::string_view method, std::string_view url,
                           std::string_view error) {
    const FormatArg args[] = {method, url, error};
    std::string positional;
    FormatNamed(messageTemplate, args, positional, fields_);
    message_ = FormatMessage(positional.c_str(), args);
    SetCode(code);
}

void RequestError::SetCode(int32_t code) {
    code_ = code;
    if (code == 0) return;
    NamedField field{"errorCode_int", NamedField::Kind::Integer, code, 0.0, {}};
    for (NamedField& existing : fields_) {
        if (existing.name == field.name) {
            existing = field;
            return;
        }
    }
    fields_.push_back(field);
}

const NamedField* RequestError::FindField(std::string_view name) const {
    for (const NamedField& field : fields_) {
        if (field.name == name) return &field;
    }
    return nullptr;
}

}  // namespace Vorn
