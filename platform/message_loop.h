#pragma once

// The program's message loop: it runs while any of the program's top-level windows is open, and
// gives each window its keyboard shortcuts and the keyboard navigation between its controls.

#include <windows.h>

namespace wtsscope {

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
}  // namespace window_detail

}  // namespace wtsscope
