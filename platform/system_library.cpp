#include "platform/system_library.h"

#include <string>

namespace wtsscope {
namespace {

// The system directory's path; empty if it cannot be had.
std::wstring SystemDirectory() {
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(directory, length);
}

}  // namespace

UniqueModule LoadSystemLibrary(const wchar_t* name) {
    UniqueModule module(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // Systems without the search flags (Vista, 7 without KB2533623): name the file in the system
    // directory explicitly.
    const std::wstring directory = SystemDirectory();
    if (directory.empty()) return module;
    const std::wstring path = directory + L"\\" + name;
    return UniqueModule(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

SetDefaultDllDirectoriesFunction SystemSetDefaultDllDirectories() {
    // kernel32.dll is in every process from its start.
    return ExportOf<SetDefaultDllDirectoriesFunction>(GetModuleHandleW(L"kernel32.dll"),
                                                      "SetDefaultDllDirectories");
}

LibrarySearch RestrictLibrarySearch(SetDefaultDllDirectoriesFunction setDefaultDllDirectories) {
    if (setDefaultDllDirectories && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return LibrarySearch::SystemDirectoryOnly;
    // Once a directory is named, the current one is no longer searched. An empty name is documented
    // to do the same, but Wine takes it for none; the system directory adds nothing new. The
    // program's own directory stays first: only the search flags can drop it.
    const std::wstring directory = SystemDirectory();
    if (SetDllDirectoryW(directory.empty() ? L"" : directory.c_str()))
        return LibrarySearch::WithoutCurrentDirectory;
    return LibrarySearch::Unchanged;
}

}  // namespace wtsscope
