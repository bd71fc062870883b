#pragma once

// A user's actions, sent as the system sends them, and the messages they leave handled.

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/message_loop.h"

namespace wtsscope {

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

inline void ClickButton(HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
    DrainMessages();
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

// A popup menu its owner opens, as a user meets it: what it offered, each item's text and check,
// and the item the user picks with the arrow keys and Enter (Escape where none). Installed on the
// owner with SetWindowSubclass(owner, PickFromMenu, 0, &menu).
struct MenuPick {
    std::optional<int> item;
    std::vector<std::pair<std::wstring, bool>> offered;
    int opened = 0;
};

inline LRESULT CALLBACK PickFromMenu(HWND owner, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR data) {
    if (message == WM_INITMENUPOPUP) {
        MenuPick& menu = *reinterpret_cast<MenuPick*>(data);
        const auto popup = reinterpret_cast<HMENU>(wParam);
        ++menu.opened;
        menu.offered.clear();
        for (UINT i = 0; i < static_cast<UINT>(GetMenuItemCount(popup)); ++i) {
            wchar_t text[64]{};
            GetMenuStringW(popup, i, text, 64, MF_BYPOSITION);
            menu.offered.emplace_back(text,
                                      (GetMenuState(popup, i, MF_BYPOSITION) & MF_CHECKED) != 0);
        }
        for (int i = 0; menu.item && i <= *menu.item; ++i)
            PostMessageW(owner, WM_KEYDOWN, VK_DOWN, 1);
        PostMessageW(owner, WM_KEYDOWN, menu.item ? VK_RETURN : VK_ESCAPE, 1);
    }
    return DefSubclassProc(owner, message, wParam, lParam);
}

}  // namespace wtsscope
