#pragma once

// The thin layer over the window toolkit: a base for the program's windows, non-owning wrappers
// for the controls, scoped owners of GDI objects, fonts and DPI.

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/geometry.h"
#include "platform/handle.h"
#include "platform/list_search.h"
#include "platform/platform.h"

// Windows Vista on; MinGW-w64's commctrl.h lacks it.
#ifndef LVFI_SUBSTRING
#define LVFI_SUBSTRING 0x0004
#endif

namespace wtsscope {

using UniqueFont = UniqueHandle<HFONT, &::DeleteObject>;
using UniqueAccelerators = UniqueHandle<HACCEL, &::DestroyAcceleratorTable>;

// A window's device context, released when the owner goes.
class WindowDC {
  public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

  private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context; the one it replaced is selected back when the owner
// goes.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The width in pixels of a line of text in the font selected into the context.
int TextWidth(HDC dc, const std::wstring& text);

// The dots per inch of the monitor a window is on.
int WindowDpi(HWND window);

// The user's message font at the given DPI, and a named font of a point size.
UniqueFont CreateMessageFont(int dpi);
UniqueFont CreatePointFont(const wchar_t* face, int points, int weight, int dpi);

// Gives the controls a new font, then lets the old one go: a control never holds a deleted font.
void ApplyFont(UniqueFont& kept, UniqueFont font, std::initializer_list<HWND> controls);

// Registers a window class once per process.
void RegisterWindowClass(const wchar_t* className, WNDPROC windowProc);

// Creates a top-level window whose client area has the given size in twips at the DPI of the
// monitor it opens on.
HWND CreateTopLevelWindow(const wchar_t* className, const wchar_t* caption, DWORD style,
                          int clientWidthTwips, int clientHeightTwips, void* self);

// The outer size of a window of this style whose client area has the given size in pixels at a
// DPI: the frame's metrics are those of that DPI where the system can tell them.
SIZE FrameSize(DWORD style, DWORD exStyle, SIZE client, int dpi);

HWND CreateChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id,
                 DWORD exStyle = 0);

// Places a child at its layout box, given in twips, at the parent's DPI.
void PlaceChild(HWND child, const Box& twips, int dpi);

// Gives a queued message to the shortcuts and keyboard navigation of the window it is for; true
// when they consumed it.
bool TranslateWindowKeys(MSG& message);

// Runs the message loop until the last top-level window has closed; gives each window keyboard
// navigation between its controls.
int RunMessageLoop();

namespace window_detail {
// The program runs while any of its top-level windows is open.
void Opened();
void Closed();
void AttachAccelerators(HWND window, HACCEL accelerators);
void DetachAccelerators(HWND window);
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
    // and waits on. So the failure waits for the queue, the first of a burst alone.
    void Failed(DWORD code) {
        if (!hwnd_ || failure_) return;
        failure_ = code;
        // A full queue refuses the message; a timer is no queued message and still comes.
        if (!PostMessageW(hwnd_, window_detail::kFailureMessage, 0, 0))
            SetTimer(hwnd_, window_detail::kFailureTimer, USER_TIMER_MINIMUM, nullptr);
    }

    void ShowFailure() {
        KillTimer(hwnd_, window_detail::kFailureTimer);
        const std::optional<DWORD> code = std::exchange(failure_, std::nullopt);
        if (code)
            platform_.ShowError(hwnd_, L"Error", *code, L"The action could not be completed.");
    }

    HWND focus_ = nullptr;
    std::optional<DWORD> failure_;
    UniqueAccelerators accelerators_;
};

// Non-owning views of controls; the parent window owns the controls themselves.

// A control whose only state the program sets is its text.
class TextControl {
  public:
    explicit TextControl(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    HWND Handle() const { return hwnd_; }
    void SetCaption(const std::wstring& caption) { SetWindowTextW(hwnd_, caption.c_str()); }

  private:
    HWND hwnd_;
};

using Label = TextControl;
using Button = TextControl;

class ListBox {
  public:
    explicit ListBox(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    HWND Handle() const { return hwnd_; }
    void Clear();
    // Appends the lines at the end, painting once afterwards rather than once per line.
    void AddItems(const std::vector<std::wstring>& lines);
    // How far the list scrolls sideways, in pixels.
    void SetHorizontalExtent(int pixels);

  private:
    HWND hwnd_;
};

// What an owner-data list asks of the rows its owner keeps: how many there are, the text of a cell,
// and the row a search finds.
struct OwnerData {
    std::size_t rows;
    int columns;
    std::function<std::wstring(std::size_t row, int column)> cellText;
    std::function<std::optional<std::size_t>(const ListSearch& search)> find;
};

// A report-view list whose rows the program keeps itself (owner data): the list asks for each
// cell it paints and only holds the count, the selection and the focus.
class ListView {
  public:
    explicit ListView(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    HWND Handle() const { return hwnd_; }

    void SetExtendedStyle(DWORD style);
    void AddColumn(int position, const wchar_t* header);
    int ColumnWidth(int position) const;
    void SetColumnWidth(int position, int width);
    // The column whose width the user changed, from a notification the list passes on to its parent
    // from its header (hwndFrom is the header, idFrom the header's own identifier): a divider
    // dragged (HDN_ENDTRACKW) or double-clicked (HDN_DIVIDERDBLCLICKW, after which the list fits
    // the column itself), or a width changed any other way (HDN_ITEMCHANGEDW, as while a divider is
    // dragged with the full-drag style every report view's header has). Windows passes all three
    // on; Wine 8 passes on the first two and keeps HDN_ITEMCHANGED to itself. A width the program
    // sets also comes as HDN_ITEMCHANGEDW: the caller tells those apart. None for any other
    // notification.
    std::optional<int> ResizedColumn(const NMHDR& notification) const;
    // The up arrow on the sorted column's header, none on the others.
    void ShowSortArrow(std::optional<int> sortedColumn);

    // A new count repaints the whole list; the selection and focus stay on their row numbers.
    void SetRowCount(std::size_t rows);
    int TopRow() const;

    std::size_t SelectedCount() const;
    // The selected rows from top to bottom.
    std::vector<std::size_t> SelectedRows() const;
    std::optional<std::size_t> FocusedRow() const;
    // The anchor of Shift+click and Shift+arrows.
    std::optional<std::size_t> SelectionMark() const;
    void SetSelectionMark(std::optional<std::size_t> row);
    void Select(std::size_t row);
    void SelectAll();
    void Focus(std::size_t row);
    void ClearSelectionAndFocus();
    void EnsureVisible(std::size_t row);
    // Scrolls until the row is the first visible one, or as far as the list scrolls.
    void ScrollToTop(std::size_t row);
    void RepaintRows();

    // The answer to the list's question about its rows: a cell's text (LVN_GETDISPINFOW) or the
    // row a search finds (LVN_ODFINDITEMW, read as LVFINDINFOW and NMLVFINDITEMW document it; a
    // search by item data or position, or without a text, finds none). None for any other
    // notification.
    static std::optional<LRESULT> AnswerOwnerData(NMHDR& notification, const OwnerData& owner);

  private:
    HWND hwnd_;
};

}  // namespace wtsscope
