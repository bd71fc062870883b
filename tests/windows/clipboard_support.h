#pragma once

// The clipboard as another program sees it, and another program holding it open.

#include <windows.h>

#include "platform/handle.h"
#include "tests/windows/user_input.h"

namespace wtsscope {

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

}  // namespace wtsscope
