#pragma once

// The thin layer over the window toolkit: a base for the program's windows, non-owning wrappers
// for the standard controls, fonts and DPI.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/geometry.h"
#include "platform/handle.h"

namespace wtsscope {

using UniqueFont = UniqueHandle<HFONT, &::DeleteObject>;
using UniqueAccelerators = UniqueHandle<HACCEL, &::DestroyAcceleratorTable>;

// The dots per inch of the monitor a window is on.
int WindowDpi(HWND window);

// The user's message font at the given DPI, and a named font of a point size.
UniqueFont CreateMessageFont(int dpi);
UniqueFont CreatePointFont(const wchar_t* face, int points, int weight, int dpi);

// Registers a window class once per process.
void RegisterWindowClass(const wchar_t* className, WNDPROC windowProc);

// Creates a top-level window whose client area has the given size in twips at the DPI of the
// monitor it opens on.
HWND CreateTopLevelWindow(const wchar_t* className, const wchar_t* caption, DWORD style,
                          int clientWidthTwips, int clientHeightTwips, void* self);

HWND CreateChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id,
                 DWORD exStyle = 0);

// Moves and sizes a window to a rectangle, as the system suggests when the DPI changes.
void MoveToRect(HWND window, const RECT& rect);

// Places a child at its layout box, given in twips, at the parent's DPI.
void PlaceChild(HWND child, const Box& twips, int dpi);

std::wstring WindowText(HWND window);

// Keyboard shortcuts of a top-level window, turned into WM_COMMAND by the message loop. The window
// keeps the table alive while it is attached.
void AttachAccelerators(HWND window, HACCEL accelerators);

// Puts text on the clipboard as Unicode text; false with the thread's last error when it cannot.
bool CopyTextToClipboard(HWND owner, const std::wstring& text);

// The program runs while any of its top-level windows is open.
void TopLevelWindowOpened();
void TopLevelWindowClosed();

// Gives a queued message to the shortcuts and keyboard navigation of the window it is for; true
// when they consumed it.
bool TranslateWindowKeys(MSG& message);

// Runs the message loop until the last top-level window has closed; gives each window keyboard
// navigation between its controls.
int RunMessageLoop();

// The scratch-program pattern: the static procedure finds the object behind the window and
// forwards to its HandleMessage.
template <class Derived>
class Window {
  public:
    HWND Handle() const { return hwnd_; }

  protected:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        Derived* self = nullptr;
        if (message == WM_NCCREATE) {
            self = static_cast<Derived*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            self->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            TopLevelWindowOpened();
        } else {
            self = reinterpret_cast<Derived*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
        const LRESULT result = self->HandleMessage(message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->hwnd_ = nullptr;
            TopLevelWindowClosed();
        }
        return result;
    }

    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) {
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }

    HWND hwnd_ = nullptr;
};

// Non-owning views of standard controls; the parent window owns the controls themselves.
class Label {
  public:
    explicit Label(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    HWND Handle() const { return hwnd_; }
    void SetCaption(const std::wstring& caption) { SetWindowTextW(hwnd_, caption.c_str()); }

  private:
    HWND hwnd_;
};

class Button {
  public:
    explicit Button(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    HWND Handle() const { return hwnd_; }
    void SetCaption(const std::wstring& caption) { SetWindowTextW(hwnd_, caption.c_str()); }

  private:
    HWND hwnd_;
};

class ListBox {
  public:
    explicit ListBox(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    HWND Handle() const { return hwnd_; }
    void Clear();
    // Appends the lines at the end, painting once afterwards rather than once per line.
    void AddItems(const std::vector<std::wstring>& lines);
    int Count() const;
    std::wstring Item(int index) const;

  private:
    HWND hwnd_;
};

}  // namespace wtsscope
