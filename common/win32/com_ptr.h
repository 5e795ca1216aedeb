#pragma once

#include <utility>

// One reference to a COM object, released when the owner goes away.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }

  Interface* get() const { return object_; }
  Interface* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  void reset() {
    if (Interface* old = std::exchange(object_, nullptr)) old->Release();
  }
  // Releases what is held and hands out the slot for a call to fill.
  Interface** put() {
    reset();
    return &object_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

 private:
  Interface* object_ = nullptr;
};
