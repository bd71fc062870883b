#include "version/version_info.h"

#include "version/version_code.h"

namespace wtsscope {

std::int32_t GetVersionCode(const Platform& platform, VersionRecord& VersionInfo) {
    VersionInfo.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (platform.QueryVersion(VersionInfo) != ERROR_SUCCESS) {
        // Systems before the extended record accept only the basic one.
        VersionInfo.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (platform.QueryVersion(VersionInfo) != ERROR_SUCCESS) return 0;
    }
    return ClassifyVersion(VersionInfo);
}

}  // namespace wtsscope
