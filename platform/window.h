#pragma once

// The base of the program's windows, and the creation of windows and their controls.

#include <windows.h>

#include <optional>
#include <span>
#include <utility>

#include "platform/geometry.h"
#include "platform/handle.h"
#include "platform/message_loop.h"
#include "platform/platform.h"

namespace wtsscope {

using UniqueAccelerators = UniqueHandle<HACCEL, &::DestroyAcceleratorTable>;

// Registers a window class once per process.
void RegisterWindowClass(const wchar_t* className, WNDPROC windowProc);

// Creates a top-level window whose client area has the given size in twips at the DPI of the
// monitor it opens on.
HWND CreateTopLevelWindow(const wchar_t* className, const wchar_t* caption, DWORD style,
                          int clientWidthTwips, int clientHeightTwips, void* self);

HWND CreateChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id,
                 DWORD exStyle = 0);

// Places a child at its layout box, given in twips, at the parent's DPI.
void PlaceChild(HWND child, const Box& twips, int dpi);

namespace window_detail {
// The focused push button's identifier as DM_GETDEFID answers it, or 0 where the focus is on no
// push button of the window.
LRESULT FocusedButtonAsDefault(HWND window);
// Posted by a window to itself to show the error box of a failure that ended a message. WM_APP is
// the base's; a window numbers its own messages from WM_APP + 1.
constexpr UINT kFailureMessage = WM_APP;
// The timer that shows it instead where the window's queue is full: timer 1 is the base's too.
constexpr UINT_PTR kFailureTimer = 1;
// The code the error box shows for the exception being handled: memory for std::bad_alloc, an
// internal error for anything else.
DWORD CurrentExceptionCode();
// The answer of a message that failed: for a list's question about its rows, the answer that means
// nothing (no row found, an empty cell) rather than 0, which can mean the first row.
LRESULT AnswerOfFailedMessage(UINT message, LPARAM lParam);
}  // namespace window_detail

// The scratch-program pattern: the static procedure finds the object behind the window and
// forwards to its HandleMessage; what every window of the program needs is handled here once.
//
// A derived window answers HandleMessage and Layout(int dpi), and passes what it does not handle
// to DefaultHandling. No exception leaves the window procedure into the system's code that called
// it: one that ends a message is shown in the error box once that message is over.
template <class Derived>
class Window {
  public:
    explicit Window(const Platform& platform) : platform_(platform) {}
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Handle() const { return hwnd_; }

  protected:
    // The window goes with its object. The derived part is gone by now, so the window is cut off
    // from it first: nothing sent while the window is destroyed can reach it.
    ~Window() {
        const HWND window = hwnd_;
        if (!window) return;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        Closing(window);
        DestroyWindow(window);
    }

    // Registers the window's class once per process and creates the window, unless it is open
    // already; its handle, or null when it cannot be created.
    HWND CreateOnce(const wchar_t* className, const wchar_t* caption, DWORD style,
                    int clientWidthTwips, int clientHeightTwips) {
        if (!hwnd_) {
            RegisterWindowClass(className, WindowProc);
            CreateTopLevelWindow(className, caption, style, clientWidthTwips, clientHeightTwips,
                                 static_cast<Derived*>(this));
        }
        return hwnd_;
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        Derived* self = nullptr;
        if (message == WM_NCCREATE) {
            self = static_cast<Derived*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            self->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            window_detail::Opened();
        } else {
            self = reinterpret_cast<Derived*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
        LRESULT result = 0;
        const bool showingFailure = message == window_detail::kFailureMessage ||
                                    (message == WM_TIMER && wParam == window_detail::kFailureTimer);
        try {
            if (showingFailure)
                self->ShowFailure();
            else
                result = self->HandleMessage(message, wParam, lParam);
        } catch (...) {
            // A box that cannot even be shown is not asked for again: that would go round for as
            // long as the memory is short.
            if (!showingFailure) self->Failed(window_detail::CurrentExceptionCode());
            result = window_detail::AnswerOfFailedMessage(message, lParam);
        }
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->Closing(hwnd);
        }
        return result;
    }

    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_ACTIVATE:
                // Deactivated: remember where the focus was, to give it back on return.
                if (LOWORD(wParam) == WA_INACTIVE) {
                    const HWND focus = GetFocus();
                    if (focus && IsChild(hwnd_, focus)) focus_ = focus;
                }
                break;
            case WM_SETFOCUS: {
                // Activated (or focused on its frame): the focus goes on to the remembered
                // control, or to the first one Tab reaches when that one is gone.
                HWND target = focus_;
                if (!target || !IsChild(hwnd_, target) || !IsWindowEnabled(target))
                    target = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
                if (target) {
                    SetFocus(target);
                    return 0;
                }
                break;
            }
            case DM_GETDEFID:
                // The keyboard navigation asks this of any window for Enter: the focused button
                // is the one Enter presses.
                return window_detail::FocusedButtonAsDefault(hwnd_);
            case WM_DPICHANGED: {
                // The DPI first: the move asks for the smallest size and lays out at the new one.
                dpi_ = HIWORD(wParam);
                const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
                SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top,
                             suggested.right - suggested.left, suggested.bottom - suggested.top,
                             SWP_NOZORDER | SWP_NOACTIVATE);
                static_cast<Derived*>(this)->Layout(dpi_);
                return 0;
            }
            case WM_SYSCOLORCHANGE:
                // Common controls learn of new system colours only from their parent.
                for (HWND child = GetWindow(hwnd_, GW_CHILD); child;
                     child = GetWindow(child, GW_HWNDNEXT))
                    SendMessageW(child, WM_SYSCOLORCHANGE, wParam, lParam);
                return 0;
            case WM_SETTINGCHANGE:
                // The message font is one of the non-client metrics.
                if (wParam == SPI_SETNONCLIENTMETRICS) static_cast<Derived*>(this)->Layout(dpi_);
                break;
            default:
                break;
        }
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }

    // The control that gets the focus when the window is first activated.
    void FocusFirst(HWND control) { focus_ = control; }

    // Keyboard shortcuts, turned into WM_COMMAND by the message loop while the window is open.
    void UseAccelerators(std::span<ACCEL> keys) {
        accelerators_.reset(CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size())));
        window_detail::AttachAccelerators(hwnd_, accelerators_.get());
    }

    const Platform& platform_;
    HWND hwnd_ = nullptr;
    int dpi_ = USER_DEFAULT_SCREEN_DPI;

  private:
    void Closing(HWND window) {
        // A named window property holds a global atom until it is removed.
        window_detail::DetachAccelerators(window);
        hwnd_ = nullptr;
        focus_ = nullptr;
        failure_.reset();
        window_detail::Closed();
    }

    // The box opens its own message loop, which must not run in the middle of the message that
    // failed: inside a paint, a notification the list waits on, or a message another thread sent
    // and waits on. So the failure waits for the queue, the first of a burst alone, and while a
    // box is up no other is asked for.
    void Failed(DWORD code) {
        if (!hwnd_ || failure_) return;
        failure_ = code;
        // A full queue refuses the message; a timer is no queued message and still comes.
        if (!PostMessageW(hwnd_, window_detail::kFailureMessage, 0, 0))
            SetTimer(hwnd_, window_detail::kFailureTimer, USER_TIMER_MINIMUM, nullptr);
    }

    void ShowFailure() {
        KillTimer(hwnd_, window_detail::kFailureTimer);
        if (!failure_) return;
        // The failure stays pending while its box is up: one that comes in the box's own message
        // loop (out of memory while the list repaints behind it) is the same failure going on, and
        // is shown only if it comes again once the box is closed.
        try {
            platform_.ShowError(hwnd_, L"Error", *failure_, L"The action could not be completed.");
        } catch (...) {
            failure_.reset();
            throw;
        }
        failure_.reset();
    }

    HWND focus_ = nullptr;
    std::optional<DWORD> failure_;
    UniqueAccelerators accelerators_;
};

}  // namespace wtsscope
