#pragma once

// DLLs of the system directory, and functions looked up at run time: anything newer than the
// oldest Windows the program runs on is found this way, never imported, so that the loader starts
// the program everywhere and the caller falls back where the function is missing.

#include <windows.h>

#include "platform/handle.h"

namespace wtsscope {

using UniqueModule = UniqueHandle<HMODULE, &::FreeLibrary>;

// Loads the DLL of that name from the system directory and nowhere else, so that a DLL of the same
// name beside the program or in the current directory is never picked up: ERROR_SUCCESS, or the
// loader's code with the module left empty.
DWORD LoadSystemLibrary(const wchar_t* name, UniqueModule& module);

// Where the loader looks for DLLs, for the whole process: called before anything can load one.
// SetDefaultDllDirectories exists from Windows 8 on, and on Vista and 7 only with KB2533623, so it
// is looked up, never imported: an import of it keeps the program from starting at all without
// the update. Without it the current directory at least leaves the search (SetDllDirectory, from
// XP SP1 on), and the program's own DLLs are loaded by their full path in the system directory.
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
SetDefaultDllDirectoriesFunction SystemSetDefaultDllDirectories();

enum class LibrarySearch { SystemDirectoryOnly, WithoutCurrentDirectory, Unchanged };
LibrarySearch RestrictLibrarySearch(SetDefaultDllDirectoriesFunction setDefaultDllDirectories);

// The export of a loaded module as a function of the given type, or null.
template <class Function>
Function ExportOf(HMODULE module, const char* name) {
    if (!module) return nullptr;
    const FARPROC address = GetProcAddress(module, name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

}  // namespace wtsscope
