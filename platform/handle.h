#pragma once

#include <utility>

namespace wtsscope {

// Sole owner of a platform handle, released by Close when the owner goes. Move-only.
template <class Handle, auto Close, Handle Invalid = Handle{}>
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Invalid; }

    Handle release() { return std::exchange(handle_, Invalid); }

    // For a call that hands a new handle back through a pointer: lets go of the one held, then
    // gives the place the new one is written to.
    Handle* put() {
        reset();
        return &handle_;
    }

    void reset(Handle handle = Invalid) {
        const Handle old = std::exchange(handle_, handle);
        if (old != Invalid) Close(old);
    }

  private:
    Handle handle_ = Invalid;
};

}  // namespace wtsscope
