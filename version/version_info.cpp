#include "version/version_info.h"

#include "version/version_code.h"

namespace wtsscope {

VersionRecord VersionInfo{};

std::int32_t GetVersionCode(const Platform& platform) {
    DWORD lastError = ERROR_SUCCESS;
    VersionInfo.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!platform.QueryVersion(VersionInfo, lastError)) {
        // Systems before the extended record accept only the basic one.
        VersionInfo.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!platform.QueryVersion(VersionInfo, lastError)) return 0;
    }
    return ClassifyVersion(VersionInfo);
}

}  // namespace wtsscope
