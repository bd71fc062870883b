#include "platform/ui.h"

namespace wtsscope {
namespace {

int openTopLevelWindows = 0;

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

template <class Function>
Function User32Function(const char* name) {
    const FARPROC address = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

}  // namespace

int WindowDpi(HWND window) {
    // Per-monitor DPI exists from Windows 10 on; older systems have one DPI for everything.
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return static_cast<int>(dpi);
    }
    return SystemDpi();
}

UniqueFont CreateMessageFont(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        return UniqueFont(nullptr);
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi());
    return UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
}

UniqueFont CreatePointFont(const wchar_t* face, int points, int weight, int dpi) {
    LOGFONTW font{};
    font.lfHeight = -PointsToPixels(points, dpi);
    font.lfWeight = weight;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return UniqueFont(CreateFontIndirectW(&font));
}

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

HWND CreateTopLevelWindow(const wchar_t* className, const wchar_t* caption, int clientWidthTwips,
                          int clientHeightTwips, void* self) {
    const DWORD style = WS_OVERLAPPEDWINDOW;
    const int dpi = SystemDpi();
    RECT frame{0, 0, TwipsToPixels(clientWidthTwips, dpi), TwipsToPixels(clientHeightTwips, dpi)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    return CreateWindowExW(0, className, caption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                           GetModuleHandleW(nullptr), self);
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

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void TopLevelWindowOpened() { ++openTopLevelWindows; }

void TopLevelWindowClosed() {
    if (--openTopLevelWindows == 0) PostQuitMessage(0);
}

int RunMessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        const HWND root = GetAncestor(message.hwnd, GA_ROOT);
        if (root && IsDialogMessageW(root, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void ListBox::Clear() { SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0); }

void ListBox::AddItems(const std::vector<std::wstring>& lines) {
    SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    for (const std::wstring& line : lines)
        SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

int ListBox::Count() const { return static_cast<int>(SendMessageW(hwnd_, LB_GETCOUNT, 0, 0)); }

std::wstring ListBox::Item(int index) const {
    const LRESULT length = SendMessageW(hwnd_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(hwnd_, LB_GETTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == LB_ERR ? 0 : static_cast<std::size_t>(copied));
    return text;
}

}  // namespace wtsscope
