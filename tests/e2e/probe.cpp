// wtsscope-probe: looks at wtsscope's main window from outside, the way a user or a
// screen reader sees it.
//
// It starts the program, waits for its visible top-level window captioned "Form1",
// prints the class and text of every control in it (and a list box's items), checks
// that the label reads the expected version code and that both buttons and the list
// box are there, optionally holds the window open for a screenshot, then closes it
// with WM_CLOSE and waits for the program to end.
//
// usage: wtsscope-probe [--label TEXT] [--timeout SECONDS] [--pause SECONDS]
//                       program.exe [args...]
// Exit code 0 when every check passed, 1 when one failed, 2 on a usage error.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr UINT kMessageTimeoutMs = 5000;

struct Options {
    std::wstring label = L"15";
    DWORD timeout_ms = 120 * 1000;
    DWORD pause_ms = 0;
    std::wstring program;
    std::wstring command_line;
};

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

void Print(const std::wstring& line) {
    std::printf("%s\n", Utf8(line).c_str());
    std::fflush(stdout);
}

// Quotes one argument so that the C runtime of the started program splits it back
// out unchanged.
std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
        } else if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            backslashes = 0;
        } else {
            backslashes = 0;
        }
        out += c;
    }
    out.append(backslashes, L'\\');
    return out + L"\"";
}

bool ParseSeconds(const wchar_t* text, DWORD& ms) {
    wchar_t* end = nullptr;
    const unsigned long seconds = std::wcstoul(text, &end, 10);
    if (end == text || *end != L'\0' || seconds > 24 * 3600) return false;
    ms = static_cast<DWORD>(seconds * 1000);
    return true;
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    int i = 1;
    for (; i < argc && std::wcsncmp(argv[i], L"--", 2) == 0; ++i) {
        const std::wstring name = argv[i];
        if (i + 1 >= argc) return false;
        const wchar_t* value = argv[++i];
        if (name == L"--label") {
            options.label = value;
        } else if (name == L"--timeout") {
            if (!ParseSeconds(value, options.timeout_ms)) return false;
        } else if (name == L"--pause") {
            if (!ParseSeconds(value, options.pause_ms)) return false;
        } else {
            return false;
        }
    }
    if (i >= argc) return false;
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(argv[i], MAX_PATH, full, nullptr);
    options.program = (length > 0 && length < MAX_PATH) ? full : argv[i];
    options.command_line = QuoteArgument(options.program);
    for (++i; i < argc; ++i) options.command_line += L" " + QuoteArgument(argv[i]);
    return true;
}

// The text the window itself answers to WM_GETTEXT, as assistive tools read it.
std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                             &length)) {
        return L"<no answer>";
    }
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied)) {
        return L"<no answer>";
    }
    return std::wstring(buffer.data(), copied);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

bool SameClass(const std::wstring& a, const wchar_t* b) {
    return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

std::vector<std::wstring> ListBoxItems(HWND list) {
    std::vector<std::wstring> items;
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &count) ||
        static_cast<LRESULT>(count) == LB_ERR) {
        return items;
    }
    for (WPARAM i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length);
        if (static_cast<LRESULT>(length) == LB_ERR) length = 0;
        std::vector<wchar_t> buffer(length + 1, L'\0');
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buffer.data()),
                            SMTO_ABORTIFHUNG, kMessageTimeoutMs, &copied);
        items.emplace_back(buffer.data());
    }
    return items;
}

struct FormSearch {
    DWORD process_id;
    HWND form;
};

BOOL CALLBACK FindForm(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<FormSearch*>(param);
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    if (process_id == search->process_id && IsWindowVisible(window) && TextOf(window) == L"Form1") {
        search->form = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

// Prints every control of the form and checks the ones the main window must have.
bool InspectForm(HWND form, const std::wstring& label) {
    std::vector<HWND> children;
    EnumChildWindows(form, CollectChild, reinterpret_cast<LPARAM>(&children));

    bool label_found = false, command1 = false, command2 = false, list = false;
    for (HWND child : children) {
        const std::wstring kind = ClassOf(child);
        const std::wstring text = TextOf(child);
        RECT box{};
        GetWindowRect(child, &box);
        MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&box), 2);
        wchar_t where[96];
        std::swprintf(where, 96, L" id=%d at (%ld,%ld) size %ldx%ld%ls", GetDlgCtrlID(child),
                      box.left, box.top, box.right - box.left, box.bottom - box.top,
                      IsWindowVisible(child) ? L"" : L" hidden");
        Print(L"control " + kind + L" \"" + text + L"\"" + where);
        if (SameClass(kind, L"Static") && text == label) label_found = true;
        if (SameClass(kind, L"Button") && text == L"Command1") command1 = true;
        if (SameClass(kind, L"Button") && text == L"Command2") command2 = true;
        if (SameClass(kind, L"ListBox")) {
            list = true;
            const std::vector<std::wstring> items = ListBoxItems(child);
            Print(L"  " + std::to_wstring(items.size()) + L" item(s)");
            for (const std::wstring& item : items) Print(L"  item \"" + item + L"\"");
        }
    }

    const auto check = [](bool passed, const std::wstring& what) {
        Print((passed ? L"ok: " : L"FAIL: ") + what);
        return passed;
    };
    bool passed = check(label_found, L"a Static control reads \"" + label + L"\"");
    passed = check(command1, L"a Button reads \"Command1\"") && passed;
    passed = check(command2, L"a Button reads \"Command2\"") && passed;
    passed = check(list, L"a ListBox is present") && passed;
    return passed;
}

int Run(const Options& options) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring command_line = options.command_line;
    if (!CreateProcessW(options.program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
        Print(L"FAIL: cannot start " + options.program + L": error " +
              std::to_wstring(GetLastError()));
        return 1;
    }
    CloseHandle(process.hThread);
    Print(L"started " + options.command_line);

    FormSearch search{process.dwProcessId, nullptr};
    const ULONGLONG deadline = GetTickCount64() + options.timeout_ms;
    while (!search.form) {
        EnumWindows(FindForm, reinterpret_cast<LPARAM>(&search));
        if (search.form) break;
        if (WaitForSingleObject(process.hProcess, 250) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            Print(L"FAIL: the program ended with exit code " + std::to_wstring(code) +
                  L" before showing a window \"Form1\"");
            CloseHandle(process.hProcess);
            return 1;
        }
        if (GetTickCount64() > deadline) {
            Print(L"FAIL: no visible window \"Form1\" within " +
                  std::to_wstring(options.timeout_ms / 1000) + L" s");
            TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hProcess);
            return 1;
        }
    }
    Print(L"window \"Form1\" found");

    bool passed = InspectForm(search.form, options.label);

    if (options.pause_ms > 0) {
        Print(L"holding the window open for " + std::to_wstring(options.pause_ms / 1000) + L" s");
        Sleep(options.pause_ms);
    }

    PostMessageW(search.form, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, options.timeout_ms) != WAIT_OBJECT_0) {
        Print(L"FAIL: the program still runs " + std::to_wstring(options.timeout_ms / 1000) +
              L" s after WM_CLOSE to \"Form1\"");
        TerminateProcess(process.hProcess, 1);
        passed = false;
    } else {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        Print((code == 0 ? L"ok: " : L"FAIL: ") +
              std::wstring(L"closing \"Form1\" ended the program, exit code ") +
              std::to_wstring(code));
        passed = passed && code == 0;
    }
    CloseHandle(process.hProcess);
    Print(passed ? L"PASS" : L"FAILED");
    return passed ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: wtsscope-probe [--label TEXT] [--timeout SECONDS] [--pause SECONDS] "
                     "program.exe [args...]\n");
        return 2;
    }
    return Run(options);
}
