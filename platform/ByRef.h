#pragma once
// An argument that is passed by reference when the caller hands over a
// variable, and falls back to a value of its own when the caller hands over
// a temporary or leaves the argument out. This lets the dialog wrappers keep
// their long lists of optional in-and-out arguments:
//
//     QString name;            // filled in by the dialog
//     dlg.VBGetOpenFileName(name, {}, true);

#include <utility>

namespace sga::platform {

template <typename T>
class ByRef {
public:
    ByRef(T& variable) : ptr_(&variable) {}
    ByRef(const T& value) : own_(value), ptr_(&own_) {}
    ByRef(T&& value) : own_(std::move(value)), ptr_(&own_) {}
    ByRef(const ByRef&) = delete;
    ByRef& operator=(const ByRef&) = delete;

    T& get() const { return *ptr_; }
    operator T&() const { return *ptr_; }
    ByRef& operator=(const T& value) {
        *ptr_ = value;
        return *this;
    }
    T* operator->() const { return ptr_; }

private:
    T own_{};
    T* ptr_;
};

} // namespace sga::platform
