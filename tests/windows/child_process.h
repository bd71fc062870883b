#pragma once

// Other programs a test starts and waits for.

#include <windows.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace wtsscope {

// The file a loaded module came from, whatever its length.
inline std::wstring ModulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) return path.substr(0, length);
        path.resize(path.size() * 2);
    }
}

struct ChildResult {
    bool finished = false;
    DWORD exitCode = 0;
    std::string output;
};

// Runs a program to its end, at most for the time given, its output kept in a file; meanwhile runs
// while it does.
inline ChildResult RunChild(const std::wstring& program, const std::wstring& arguments,
                            const std::wstring& currentDirectory, const std::wstring& outputPath,
                            DWORD timeoutMs, WORD show = SW_HIDE,
                            const std::function<void(const PROCESS_INFORMATION&)>& meanwhile = {}) {
    ChildResult result;
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    const HANDLE output =
        CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) return result;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, currentDirectory.c_str(), &startup, &process);
    CloseHandle(output);
    if (!started) return result;
    if (meanwhile) meanwhile(process);
    result.finished = WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!result.finished) TerminateProcess(process.hProcess, 1);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::ifstream file(outputPath.c_str(), std::ios::binary);
    result.output.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return result;
}

}  // namespace wtsscope
