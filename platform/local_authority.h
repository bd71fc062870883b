#pragma once

// What the machine's own security authority knows without asking a domain controller. Nothing
// here touches a window or the platform.

#include <string_view>

namespace wtsscope {

// Whether the system names the account of an identifier (its bytes) by itself, without asking a
// domain controller: the well-known identifiers (S-1-0 to S-1-3; NT AUTHORITY's own S-1-5-1 to
// S-1-5-20 and its local-account groups S-1-5-113 and S-1-5-114; BUILTIN; the service, application
// pool, virtual machine, user-mode driver, window-manager and font-driver accounts) and the
// accounts of the machine's own account domain (its identifier's bytes; empty where it is not
// known). Allocates nothing.
bool NamedLocally(std::string_view identifier, std::string_view accountDomain);

}  // namespace wtsscope
