#include "platform/record_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

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

bool NamedLocally(std::string_view identifier, std::string_view accountDomain) {
    constexpr std::size_t kHeader = offsetof(IdentifierRecord, SubAuthority);
    constexpr std::size_t kSubAuthority = sizeof(IdentifierRecord::SubAuthority[0]);
    if (identifier.size() < kHeader) return false;
    IdentifierRecord header;
    std::memcpy(&header, identifier.data(), kHeader);
    if (identifier.size() < kHeader + header.SubAuthorityCount * kSubAuthority) return false;
    // The machine's own accounts: its domain's identifier with one sub-authority more, the
    // account's own.
    if (!accountDomain.empty() && identifier.size() == accountDomain.size() + kSubAuthority) {
        std::string domain(identifier.substr(0, accountDomain.size()));
        --domain[offsetof(IdentifierRecord, SubAuthorityCount)];
        if (domain == accountDomain) return true;
    }
    // The authority is six bytes, most significant first; the well-known ones are small numbers.
    const std::string_view authority = identifier.substr(
        offsetof(IdentifierRecord, IdentifierAuthority), sizeof(header.IdentifierAuthority));
    if (std::any_of(authority.begin(), authority.end() - 1, [](char byte) { return byte != 0; }))
        return false;
    constexpr unsigned char kNtAuthority = 5;
    const auto authorityValue = static_cast<unsigned char>(authority.back());
    // The null, world, local and creator authorities.
    if (authorityValue <= 3) return true;
    if (authorityValue != kNtAuthority || header.SubAuthorityCount == 0) return false;
    std::uint32_t first = 0;
    std::memcpy(&first, identifier.data() + kHeader, sizeof(first));
    // NT AUTHORITY's own accounts and groups (SYSTEM, LOCAL SERVICE, NETWORK SERVICE, a logon
    // session's...), then BUILTIN, NT SERVICE, Window Manager and Font Driver Host.
    constexpr std::uint32_t kBuiltin = 32;
    constexpr std::uint32_t kServices = 80;
    constexpr std::uint32_t kWindowManager = 90;
    constexpr std::uint32_t kFontDrivers = 96;
    return (first >= 1 && first <= 20) || first == kBuiltin || first == kServices ||
           first == kWindowManager || first == kFontDrivers;
}

}  // namespace wtsscope
