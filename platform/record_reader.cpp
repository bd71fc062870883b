#include "platform/record_reader.h"

#include <cstddef>
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

std::string_view IdentifierBytes(const void* sid) {
    if (sid == nullptr) return {};
    // The header is read alone: a malformed identifier may be shorter than the whole record.
    IdentifierRecord header;
    std::memcpy(&header, sid, offsetof(IdentifierRecord, SubAuthority));
    if (header.Revision != kIdentifierRevision || header.SubAuthorityCount > kMaxSubAuthorities)
        return {};
    return {static_cast<const char*>(sid),
            offsetof(IdentifierRecord, SubAuthority) +
                header.SubAuthorityCount * sizeof(header.SubAuthority[0])};
}

}  // namespace wtsscope
