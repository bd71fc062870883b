#include "platform/record_reader.h"

#include <cstdint>
#include <limits>

namespace wtsscope {

std::string_view ReadAnsiText(const char* address, TextBounds bounds) {
    if (address == nullptr) return {};
    if (bounds.begin == nullptr && bounds.end == nullptr) return std::string_view(address);
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    const auto begin = reinterpret_cast<std::uintptr_t>(bounds.begin);
    const auto end = reinterpret_cast<std::uintptr_t>(bounds.end);
    if (at < begin || at >= end) return {};
    const std::size_t available = end - at;
    const void* terminator = std::memchr(address, 0, available);
    const std::size_t length =
        terminator ? static_cast<std::size_t>(static_cast<const char*>(terminator) - address)
                   : available;
    return std::string_view(address, length);
}

bool RecordsFitAddressSpace(const void* block, std::size_t count, std::size_t recordSize) {
    if (count == 0) return true;
    if (recordSize != 0 && count > std::numeric_limits<std::size_t>::max() / recordSize)
        return false;
    const std::size_t size = count * recordSize;
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    return size <= std::numeric_limits<std::uintptr_t>::max() - start;
}

}  // namespace wtsscope
