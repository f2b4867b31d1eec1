#pragma once
// Holds one reference to a COM object and releases it on every way out. Included only by the
// win32 backend; the interface may stay incomplete where the holder is only declared.
#include <utility>

namespace ostrel::win32 {

template <class Interface>
class ComRef {
  public:
    ComRef() = default;
    // Takes a reference of its own; the caller keeps the one it has.
    explicit ComRef(Interface* object) : object_(object) {
        if (object_) object_->AddRef();
    }
    ~ComRef() { Reset(); }
    ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            Reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface* Get() const { return object_; }
    Interface* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // For a call that hands out a reference (CoCreateInstance, QueryInterface): the holder
    // lets go of what it had and receives the new one.
    Interface** Put() {
        Reset();
        return &object_;
    }
    void Reset() {
        if (object_) std::exchange(object_, nullptr)->Release();
    }

  private:
    Interface* object_ = nullptr;
};

}  // namespace ostrel::win32
