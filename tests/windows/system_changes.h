#pragma once

// Changes of the system's settings that Wine never makes by itself: colours, the message font,
// a monitor of another DPI.

#include <windows.h>

#include "platform/fonts_and_dpi.h"
#include "platform/geometry.h"
#include "tests/windows/window_readers.h"

namespace wtsscope {

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

}  // namespace wtsscope
