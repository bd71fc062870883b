#include "platform/system_library.h"

#include <string>

#include "platform/failure.h"

namespace wtsscope {
namespace {

// The system directory's path, however long; empty if it cannot be had.
std::wstring SystemDirectory() {
    std::wstring directory(MAX_PATH, L'\0');
    for (;;) {
        const UINT length =
            GetSystemDirectoryW(directory.data(), static_cast<UINT>(directory.size()));
        if (length == 0) return {};
        if (length < directory.size()) return directory.substr(0, length);
        // Too small: the length asked for counts the terminator.
        directory.resize(length);
    }
}

}  // namespace

DWORD LoadSystemLibrary(const wchar_t* name, UniqueModule& module) {
    *module.put() = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module) return ERROR_SUCCESS;
    const DWORD error = FailureCode();
    if (error != ERROR_INVALID_PARAMETER) return error;
    // Systems without the search flags (Vista, 7 without KB2533623): name the file in the system
    // directory explicitly.
    const std::wstring directory = SystemDirectory();
    if (directory.empty()) return error;
    const std::wstring path = directory + L"\\" + name;
    *module.put() = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module ? ERROR_SUCCESS : FailureCode();
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
