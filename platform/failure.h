#pragma once

#include <windows.h>

namespace wtsscope {

// The thread's last-error code, read right after a call that failed. A call that failed without
// setting one still failed: it is not reported as ERROR_SUCCESS.
inline DWORD FailureCode() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

}  // namespace wtsscope
