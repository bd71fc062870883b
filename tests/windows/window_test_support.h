#pragma once

// What a test sees of a window, read the way a user or an automation tool would.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/ui.h"

namespace wtsscope {

// Handles whatever is queued, as the message loop would between a user's actions.
inline void DrainMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

inline void ClickButton(HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
    DrainMessages();
}

inline std::wstring ClassName(HWND window) {
    wchar_t name[256];
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<std::size_t>(length));
}

inline std::vector<std::wstring> ListBoxLines(HWND listBox) {
    const ListBox view(listBox);
    std::vector<std::wstring> lines;
    for (int i = 0; i < view.Count(); ++i) lines.push_back(view.Item(i));
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

}  // namespace wtsscope
