#include "platform/message_loop.h"

namespace wtsscope {
namespace {

// The thread's one message loop runs until the last of the program's windows has closed.
int openTopLevelWindows = 0;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

constexpr wchar_t kAcceleratorsProperty[] = L"wtsscope.accelerators";

}  // namespace

bool TranslateWindowKeys(MSG& message) {
    const HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (!root) return false;
    const auto accelerators = static_cast<HACCEL>(GetPropW(root, kAcceleratorsProperty));
    if (accelerators && TranslateAcceleratorW(root, accelerators, &message)) return true;
    return IsDialogMessageW(root, &message) != FALSE;
}

int RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (TranslateWindowKeys(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

namespace window_detail {

void Opened() { ++openTopLevelWindows; }

void Closed() {
    if (--openTopLevelWindows == 0) PostQuitMessage(0);
}

void AttachAccelerators(HWND window, HACCEL accelerators) {
    SetPropW(window, kAcceleratorsProperty, accelerators);
}

void DetachAccelerators(HWND window) { RemovePropW(window, kAcceleratorsProperty); }

}  // namespace window_detail

}  // namespace wtsscope
