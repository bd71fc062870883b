#pragma once

// What a test sees of a window, read the way a user or an automation tool would.

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/fonts_and_dpi.h"
#include "platform/geometry.h"

namespace wtsscope {

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

}  // namespace wtsscope
