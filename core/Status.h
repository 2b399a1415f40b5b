#pragma once
// The one error type of the core: a code saying what kind of failure it was
// and a message that names what is wrong and where (field, record, offset).
// Status is a result that may be an error; Expected<T> a value or an error.
// No exceptions cross module boundaries.

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace sga {

enum class ErrorCode {
    None = 0,
    Failed,          // anything not named below
    CannotOpen,      // the file could not be opened or read
    NotAnArchive,    // the bytes are not an SGA archive
    Truncated,       // a table or field runs past the end of the file
    BadField,        // a field holds a value the layout cannot have
    Unsupported,     // a layout or storage the program recognises but cannot read
    BadData,         // stored bytes that do not decode to what the record says
    ChecksumMismatch,
    NoMemory,
    WriteFailed,
};

class [[nodiscard]] Status {
public:
    Status() = default;
    static Status error(std::string message) { return Status(ErrorCode::Failed, std::move(message)); }
    static Status error(ErrorCode code, std::string message) {
        return Status(code == ErrorCode::None ? ErrorCode::Failed : code, std::move(message));
    }
    bool ok() const { return code_ == ErrorCode::None; }
    explicit operator bool() const { return ok(); }
    ErrorCode code() const { return code_; }
    const std::string& message() const { return message_; }

private:
    Status(ErrorCode code, std::string message) : code_(code), message_(std::move(message)) {
        if (message_.empty()) message_ = "unknown error";
    }
    ErrorCode code_ = ErrorCode::None;
    std::string message_;
};

// A value, or the error that kept it from being made.
template <class T>
class [[nodiscard]] Expected {
public:
    Expected(T value) : value_(std::move(value)) {}
    Expected(Status error) : error_(std::move(error)) {
        if (error_.ok()) error_ = Status::error("no value");
    }
    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }
    // The error; an ok Status when there is a value.
    const Status& status() const { return error_; }
    const std::string& message() const { return error_.message(); }

private:
    std::optional<T> value_;
    Status error_;
};

} // namespace sga
