#pragma once
// The typed outcome of a request to the host: a value of T, or a
// RequestError with a code, a message and named fields.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/message_format.h"

namespace Vorn {

class RequestError {
public:
    RequestError() = default;
    // The message is the named template with the three texts put in; they
    // are kept as the fields method_str, url_str and error_str.
    RequestError(int32_t code, const char* messageTemplate, std::string_view method, std::string_view url,
                 std::string_view error);

    int32_t Code() const { return code_; }
    // A non-zero code is also kept as the field "errorCode_int".
    void SetCode(int32_t code);
    const std::string& Message() const { return message_; }
    const std::vector<NamedField>& Fields() const { return fields_; }
    const NamedField* FindField(std::string_view name) const;

private:
    int32_t code_ = 0;
    std::string message_;
    std::vector<NamedField> fields_;
};

template <typename T>
class RequestResult {
public:
    RequestResult(T value) : value_(std::move(value)) {}
    RequestResult(RequestError error) : error_(std::move(error)) {}

    bool Ok() const { return value_.has_value(); }
    explicit operator bool() const { return Ok(); }
    // Only when Ok().
    T& Value() { return *value_; }
    const T& Value() const { return *value_; }
    // Only when not Ok().
    const RequestError& Error() const { return error_; }

private:
    std::optional<T> value_;
    RequestError error_;
};

template <>
class RequestResult<void> {
public:
    RequestResult() = default;
    RequestResult(RequestError error) : error_(std::move(error)), ok_(false) {}

    bool Ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const RequestError& Error() const { return error_; }

private:
    RequestError error_;
    bool ok_ = true;
};

}  // namespace Vorn
