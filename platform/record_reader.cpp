#include "platform/record_reader.h"

#include <cstdint>
#include <limits>

namespace wtsscope {

bool RecordsFitAddressSpace(const void* block, std::size_t count, std::size_t recordSize) {
    if (count == 0) return true;
    if (recordSize != 0 && count > std::numeric_limits<std::size_t>::max() / recordSize)
        return false;
    const std::size_t size = count * recordSize;
    const auto start = reinterpret_cast<std::uintptr_t>(block);
    return size <= std::numeric_limits<std::uintptr_t>::max() - start;
}

}  // namespace wtsscope
