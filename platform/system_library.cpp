#include "platform/system_library.h"

#include <string>

namespace wtsscope {

UniqueModule LoadSystemLibrary(const wchar_t* name) {
    UniqueModule module(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // Systems without the search flags (Vista, 7 without KB2533623): name the file in the system
    // directory explicitly.
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return module;
    const std::wstring path = std::wstring(directory, length) + L"\\" + name;
    return UniqueModule(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace wtsscope
