#include "platform/window.h"

#include <new>

#include "platform/controls.h"
#include "platform/fonts_and_dpi.h"

namespace wtsscope {

void RegisterWindowClass(const wchar_t* className, WNDPROC windowProc) {
    WNDCLASSEXW windowClass{};
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (GetClassInfoExW(instance, className, &windowClass)) return;
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    if (!windowClass.hIcon) windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hIconSm = windowClass.hIcon;
    RegisterClassExW(&windowClass);
}

HWND CreateTopLevelWindow(const wchar_t* className, const wchar_t* caption, DWORD style,
                          int clientWidthTwips, int clientHeightTwips, void* self) {
    const auto frameAt = [&](int dpi) {
        return FrameSize(
            style, 0, {TwipsToPixels(clientWidthTwips, dpi), TwipsToPixels(clientHeightTwips, dpi)},
            dpi);
    };
    const SIZE guess = frameAt(SystemDpi());
    const HWND window =
        CreateWindowExW(0, className, caption, style, CW_USEDEFAULT, CW_USEDEFAULT, guess.cx,
                        guess.cy, nullptr, nullptr, GetModuleHandleW(nullptr), self);
    if (!window) return nullptr;
    // A monitor of another DPI than the system's gets its own size.
    const SIZE frame = frameAt(WindowDpi(window));
    if (frame.cx != guess.cx || frame.cy != guess.cy)
        SetWindowPos(window, nullptr, 0, 0, frame.cx, frame.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return window;
}

HWND CreateChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id,
                 DWORD exStyle) {
    return CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

void PlaceChild(HWND child, const Box& twips, int dpi) {
    const Box pixels = ScaleBox(twips, dpi);
    MoveWindow(child, pixels.left, pixels.top, pixels.width, pixels.height, TRUE);
}
namespace window_detail {

LRESULT FocusedButtonAsDefault(HWND window) {
    const HWND focus = GetFocus();
    if (!focus || !IsChild(window, focus) || !IsWindowEnabled(focus)) return 0;
    const LRESULT code = SendMessageW(focus, WM_GETDLGCODE, 0, 0);
    if (!(code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) return 0;
    return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
}

DWORD CurrentExceptionCode() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_INTERNAL_ERROR;
    }
}

LRESULT AnswerOfFailedMessage(UINT message, LPARAM lParam) {
    if (message != WM_NOTIFY) return 0;
    return ListView::AnswerNothing(*reinterpret_cast<NMHDR*>(lParam)).value_or(0);
}

}  // namespace window_detail

}  // namespace wtsscope
