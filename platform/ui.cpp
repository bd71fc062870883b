#include "platform/ui.h"

#include <cstring>

namespace wtsscope {
namespace {

int openTopLevelWindows = 0;

constexpr wchar_t kAcceleratorsProperty[] = L"wtsscope.accelerators";

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

namespace {

SIZE FrameSize(DWORD style, int clientWidthTwips, int clientHeightTwips, int dpi) {
    using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi =
        User32Function<AdjustForDpiFunction>("AdjustWindowRectExForDpi");
    RECT frame{0, 0, TwipsToPixels(clientWidthTwips, dpi), TwipsToPixels(clientHeightTwips, dpi)};
    if (adjustForDpi)
        adjustForDpi(&frame, style, FALSE, 0, static_cast<UINT>(dpi));
    else
        AdjustWindowRectEx(&frame, style, FALSE, 0);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

}  // namespace

HWND CreateTopLevelWindow(const wchar_t* className, const wchar_t* caption, DWORD style,
                          int clientWidthTwips, int clientHeightTwips, void* self) {
    const SIZE guess = FrameSize(style, clientWidthTwips, clientHeightTwips, SystemDpi());
    const HWND window =
        CreateWindowExW(0, className, caption, style, CW_USEDEFAULT, CW_USEDEFAULT, guess.cx,
                        guess.cy, nullptr, nullptr, GetModuleHandleW(nullptr), self);
    if (!window) return nullptr;
    // A monitor of another DPI than the system's gets its own size.
    const int dpi = WindowDpi(window);
    const SIZE frame = FrameSize(style, clientWidthTwips, clientHeightTwips, dpi);
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

void MoveToRect(HWND window, const RECT& rect) {
    SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
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

void AttachAccelerators(HWND window, HACCEL accelerators) {
    SetPropW(window, kAcceleratorsProperty, accelerators);
}

bool CopyTextToClipboard(HWND owner, const std::wstring& text) {
    using UniqueGlobal = UniqueHandle<HGLOBAL, &::GlobalFree>;
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory) return false;
    void* target = GlobalLock(memory.get());
    if (!target) return false;
    std::memcpy(target, text.c_str(), bytes);
    GlobalUnlock(memory.get());
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    const bool placed = SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr;
    const DWORD error = GetLastError();
    // From here the clipboard owns the memory.
    if (placed) memory.release();
    CloseClipboard();
    SetLastError(error);
    return placed;
}

void TopLevelWindowOpened() { ++openTopLevelWindows; }

void TopLevelWindowClosed() {
    if (--openTopLevelWindows == 0) PostQuitMessage(0);
}

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

void ListBox::Clear() { SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0); }

void ListBox::AddItems(const std::vector<std::wstring>& lines) {
    SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    std::size_t characters = 0;
    for (const std::wstring& line : lines) characters += line.size() + 1;
    // Room for all lines at once rather than growing line by line.
    SendMessageW(hwnd_, LB_INITSTORAGE, lines.size(), characters * sizeof(wchar_t));
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
