#include "platform/local_authority.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/records.h"

namespace wtsscope {

bool NamedLocally(std::string_view identifier, std::string_view accountDomain) {
    constexpr std::size_t kHeader = offsetof(IdentifierRecord, SubAuthority);
    constexpr std::size_t kSubAuthority = sizeof(IdentifierRecord::SubAuthority[0]);
    constexpr std::size_t kCount = offsetof(IdentifierRecord, SubAuthorityCount);
    if (identifier.size() < kHeader) return false;
    IdentifierRecord header;
    std::memcpy(&header, identifier.data(), kHeader);
    if (identifier.size() < kHeader + header.SubAuthorityCount * kSubAuthority) return false;
    // The machine's own accounts: its domain's identifier with one sub-authority more, the
    // account's own. Compared around the count, which is one more.
    if (accountDomain.size() > kCount &&
        identifier.size() == accountDomain.size() + kSubAuthority &&
        identifier.substr(0, kCount) == accountDomain.substr(0, kCount) &&
        static_cast<unsigned char>(identifier[kCount]) ==
            static_cast<unsigned char>(accountDomain[kCount]) + 1 &&
        identifier.substr(kCount + 1, accountDomain.size() - kCount - 1) ==
            accountDomain.substr(kCount + 1))
        return true;
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
    // session's...), then BUILTIN, NT SERVICE, IIS APPPOOL, NT VIRTUAL MACHINE, the user-mode
    // drivers, Window Manager and Font Driver Host. A domain's identifiers begin with 21.
    constexpr std::uint32_t kBuiltin = 32;
    constexpr std::uint32_t kServices = 80;
    constexpr std::uint32_t kApplicationPools = 82;
    constexpr std::uint32_t kUserModeDrivers = 84;
    constexpr std::uint32_t kWindowManager = 90;
    constexpr std::uint32_t kFontDrivers = 96;
    // "Local account" and "Local account and member of Administrators group", groups of their own.
    constexpr std::uint32_t kLocalAccount = 113;
    constexpr std::uint32_t kLocalAdministrator = 114;
    if (first == kLocalAccount || first == kLocalAdministrator)
        return header.SubAuthorityCount == 1;
    return (first >= 1 && first <= 20) || first == kBuiltin || first == kServices ||
           (first >= kApplicationPools && first <= kUserModeDrivers) || first == kWindowManager ||
           first == kFontDrivers;
}

}  // namespace wtsscope
