#pragma once

// What a test sees of a window, read the way a user or an automation tool would.

#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/ui.h"

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

// Waits, without handling messages, until another thread makes the condition come true; false
// if it has not after ten seconds.
template <class Condition>
bool WaitUntil(Condition condition) {
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(1);
    }
    return true;
}

// Handles whatever is queued, as the message loop would between a user's actions.
inline void DrainMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        if (TranslateWindowKeys(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Presses a key, with Ctrl held if asked, on the control that has the focus.
inline void PressKey(HWND focus, UINT key, bool control = false) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    DrainMessages();
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
}

inline std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

namespace clipboard_holder {

using UniqueKernelHandle = UniqueHandle<HANDLE, &::CloseHandle>;

struct Hold {
    DWORD milliseconds;
    UniqueKernelHandle taken{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool held = false;
};

inline DWORD WINAPI HoldClipboard(void* parameter) {
    Hold& hold = *static_cast<Hold*>(parameter);
    hold.held = OpenClipboard(nullptr) != FALSE;
    SetEvent(hold.taken.get());
    if (!hold.held) return 0;
    Sleep(hold.milliseconds);
    CloseClipboard();
    return 0;
}

}  // namespace clipboard_holder

// Empties the clipboard, then presses Ctrl+C on the focused control while another thread holds the
// clipboard open for the time given, as another program can; returns once that thread has let go.
// False when the thread could not take the clipboard.
inline bool PressCtrlCWhileClipboardHeld(HWND focus, DWORD milliseconds) {
    using namespace clipboard_holder;
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    Hold hold{milliseconds};
    const UniqueKernelHandle thread(CreateThread(nullptr, 0, HoldClipboard, &hold, 0, nullptr));
    if (!thread) return false;
    WaitForSingleObject(hold.taken.get(), INFINITE);
    if (hold.held) PressKey(focus, 'C', true);
    WaitForSingleObject(thread.get(), INFINITE);
    return hold.held;
}

// A system colour changed from inside this process until the owner goes, as a switch to high
// contrast changes it. Wine tells this process's top-level windows (WM_SYSCOLORCHANGE), never
// another's, and keeps the change out of the user's profile.
class SystemColourChange {
  public:
    SystemColourChange(int element, COLORREF colour)
        : element_(element), original_(GetSysColor(element)) {
        SetSysColors(1, &element_, &colour);
    }
    ~SystemColourChange() { SetSysColors(1, &element_, &original_); }
    SystemColourChange(const SystemColourChange&) = delete;
    SystemColourChange& operator=(const SystemColourChange&) = delete;

  private:
    int element_;
    COLORREF original_;
};

// The system's message font of this height until the owner goes, as the user sets it. Without
// SPIF_UPDATEINIFILE nothing reaches the user's profile, and without SPIF_SENDCHANGE no other
// program hears of it: the test tells the windows itself, as the system would.
class MessageFontChange {
  public:
    explicit MessageFontChange(LONG height) {
        original_.cbSize = sizeof(original_);
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(original_), &original_, 0);
        NONCLIENTMETRICSW changed = original_;
        changed.lfMessageFont.lfHeight = height;
        SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof(changed), &changed, 0);
    }
    ~MessageFontChange() {
        SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof(original_), &original_, 0);
    }
    MessageFontChange(const MessageFontChange&) = delete;
    MessageFontChange& operator=(const MessageFontChange&) = delete;

    static void Announce(HWND window) {
        SendMessageW(window, WM_SETTINGCHANGE, SPI_SETNONCLIENTMETRICS,
                     reinterpret_cast<LPARAM>(L"WindowMetrics"));
    }

  private:
    NONCLIENTMETRICSW original_{};
};

inline void ClickButton(HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
    DrainMessages();
}

inline std::wstring ClassName(HWND window) {
    wchar_t name[256];
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<std::size_t>(length));
}

inline std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

inline int ListBoxCount(HWND listBox) {
    return static_cast<int>(SendMessageW(listBox, LB_GETCOUNT, 0, 0));
}

inline std::wstring ListBoxLine(HWND listBox, int index) {
    const LRESULT length = SendMessageW(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(listBox, LB_GETTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == LB_ERR ? 0 : static_cast<std::size_t>(copied));
    return text;
}

inline std::vector<std::wstring> ListBoxLines(HWND listBox) {
    std::vector<std::wstring> lines;
    for (int i = 0; i < ListBoxCount(listBox); ++i) lines.push_back(ListBoxLine(listBox, i));
    return lines;
}

// A child's place in its parent's client area.
inline Box ChildBox(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

// The controls Tab visits, in order, starting from the first.
inline std::vector<HWND> TabOrder(HWND window) {
    std::vector<HWND> order;
    const HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
    for (HWND at = first; at != nullptr;) {
        order.push_back(at);
        at = GetNextDlgTabItem(window, at, FALSE);
        if (at == first) break;
    }
    return order;
}

// Presses and releases the left mouse button on a control, as a user's click does: a button takes
// the focus and is clicked.
inline void ClickWithMouse(HWND control) {
    RECT rect;
    GetClientRect(control, &rect);
    const LPARAM at = MAKELPARAM(rect.right / 2, rect.bottom / 2);
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(control, WM_LBUTTONUP, 0, at);
    DrainMessages();
}

// Types text into the control that has the focus, one character after the other.
inline void TypeText(HWND focus, const std::wstring& text) {
    for (const wchar_t c : text) PostMessageW(focus, WM_CHAR, c, 1);
    DrainMessages();
}

// Sends the DPI change Windows sends when the window moves to a monitor of that DPI: the rectangle
// it suggests holds the client area scaled to the new DPI, here placed at a new spot. Windows
// scales the frame too; Wine keeps the system DPI's frame, so the suggestion is built from the
// window's real frame, and the client area is what a test can compare.
inline Box SendDpiChange(HWND window, int dpi, POINT at, SIZE client) {
    RECT frame;
    RECT inside;
    GetWindowRect(window, &frame);
    GetClientRect(window, &inside);
    const int width = client.cx + (frame.right - frame.left) - inside.right;
    const int height = client.cy + (frame.bottom - frame.top) - inside.bottom;
    RECT suggested{at.x, at.y, at.x + width, at.y + height};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    return {at.x, at.y, width, height};
}

// A top-level window's place on the screen, and its client area's size.
inline Box WindowBox(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

inline Box ClientBox(HWND window) {
    RECT rect;
    GetClientRect(window, &rect);
    return {0, 0, rect.right, rect.bottom};
}

// Paints a control into a memory bitmap, as the screen would: a hidden window is never painted,
// and a list asks for every visible cell. The colours of its pixels, row by row.
inline std::vector<COLORREF> PaintOffScreen(HWND control) {
    using UniqueMemoryDC = UniqueHandle<HDC, &::DeleteDC>;
    using UniqueBitmap = UniqueHandle<HBITMAP, &::DeleteObject>;
    RECT client;
    GetClientRect(control, &client);
    const WindowDC screen(nullptr);
    const UniqueMemoryDC memory(CreateCompatibleDC(screen.get()));
    const UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), client.right, client.bottom));
    {
        const SelectedObject selected(memory.get(), bitmap.get());
        SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.get()),
                     PRF_CLIENT | PRF_ERASEBKGND);
    }
    // Top row first, each pixel blue, green, red and a spare byte.
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = client.right;
    format.bmiHeader.biHeight = -client.bottom;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<RGBQUAD> pixels(static_cast<std::size_t>(client.right) *
                                static_cast<std::size_t>(client.bottom));
    GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(client.bottom), pixels.data(),
              &format, DIB_RGB_COLORS);
    std::vector<COLORREF> colours;
    colours.reserve(pixels.size());
    for (const RGBQUAD& pixel : pixels)
        colours.push_back(RGB(pixel.rgbRed, pixel.rgbGreen, pixel.rgbBlue));
    return colours;
}
}  // namespace wtsscope

namespace wtsscope {

inline std::wstring ListViewCell(HWND listView, int row, int column) {
    wchar_t text[1024] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 1024;
    SendMessageW(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    return text;
}

inline int ListViewRows(HWND listView) {
    return static_cast<int>(SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0));
}

// One column's cells from top to bottom.
inline std::vector<std::wstring> ListViewColumn(HWND listView, int column) {
    std::vector<std::wstring> cells;
    for (int row = 0; row < ListViewRows(listView); ++row)
        cells.push_back(ListViewCell(listView, row, column));
    return cells;
}

inline std::vector<std::wstring> HeaderTexts(HWND listView) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(listView, LVM_GETHEADER, 0, 0));
    std::vector<std::wstring> texts;
    const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = L"";
        HDITEMW item{};
        item.mask = HDI_TEXT;
        item.pszText = text;
        item.cchTextMax = 256;
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        texts.push_back(text);
    }
    return texts;
}

// Presses and releases the mouse on a column header, as a user's click does.
inline void ClickHeader(HWND listView, int column) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(listView, LVM_GETHEADER, 0, 0));
    RECT rect{};
    SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(column),
                 reinterpret_cast<LPARAM>(&rect));
    const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(header, WM_LBUTTONUP, 0, at);
    DrainMessages();
}

}  // namespace wtsscope
