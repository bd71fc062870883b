#pragma once

// Fonts and DPI: the scoped owners of GDI objects, text measured in a font, the DPI a window is
// shown at, and the frame a window needs around a client area at a DPI.

#include <windows.h>

#include <initializer_list>
#include <string>

#include "platform/handle.h"

namespace wtsscope {

using UniqueFont = UniqueHandle<HFONT, &::DeleteObject>;

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

// The DPI of the whole screen, which every window has on systems older than Windows 8.1.
int SystemDpi();

// The outer size of a window of this style whose client area has the given size in pixels at a
// DPI: the frame's metrics are those of that DPI where the system can tell them.
SIZE FrameSize(DWORD style, DWORD exStyle, SIZE client, int dpi);

}  // namespace wtsscope
