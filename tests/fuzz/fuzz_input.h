#pragma once

// What every fuzz target shares: its input, taken off the front as typed values (past its end every
// value reads as zero, so a short input is still a complete case), and the check of a property.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace wtsscope::fuzz {

// A property that does not hold ends the run as a finding, and libFuzzer keeps the input.
inline void Check(bool condition) {
    if (!condition) std::abort();
}

class FuzzInput {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    template <class T>
    T Take() {
        T value{};
        const std::size_t n = sizeof(T) < size_ ? sizeof(T) : size_;
        if (n != 0) std::memcpy(&value, data_, n);
        data_ += n;
        size_ -= n;
        return value;
    }

    // Up to limit bytes, as many as the next byte asks for.
    std::string TakeBytes(std::size_t limit) {
        std::size_t length = Take<std::uint8_t>();
        if (length > limit) length = limit;
        if (length > size_) length = size_;
        std::string bytes(reinterpret_cast<const char*>(data_), length);
        data_ += length;
        size_ -= length;
        return bytes;
    }

    const std::uint8_t* Rest() const { return data_; }
    std::size_t Remaining() const { return size_; }
    bool Empty() const { return size_ == 0; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace wtsscope::fuzz
