#pragma once
// Result of an operation that can fail on outside data: a message that names
// what is wrong and where. No exceptions cross module boundaries.

#include <string>
#include <utility>

namespace sga {

class [[nodiscard]] Status {
public:
    Status() = default;
    static Status error(std::string message) { return Status(std::move(message)); }
    bool ok() const { return message_.empty(); }
    explicit operator bool() const { return ok(); }
    const std::string& message() const { return message_; }

private:
    explicit Status(std::string message) : message_(std::move(message)) {
        if (message_.empty()) message_ = "unknown error";
    }
    std::string message_;
};

} // namespace sga
