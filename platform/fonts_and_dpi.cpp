#include "platform/fonts_and_dpi.h"

#include "platform/geometry.h"
#include "platform/system_library.h"

namespace wtsscope {
namespace {

HMODULE User32() { return GetModuleHandleW(L"user32.dll"); }

// The effective DPI of the monitor a window is on, from shcore.dll (Windows 8.1 on); 0 where the
// system cannot tell.
UINT MonitorDpi(HWND window) {
    using GetDpiForMonitorFunction = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
    static const UniqueModule shcore = [] {
        UniqueModule module;
        LoadSystemLibrary(L"shcore.dll", module);
        return module;
    }();
    static const auto getDpiForMonitor =
        ExportOf<GetDpiForMonitorFunction>(shcore.get(), "GetDpiForMonitor");
    if (!getDpiForMonitor) return 0;
    UINT x = 0;
    UINT y = 0;
    const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (!monitor || FAILED(getDpiForMonitor(monitor, kEffectiveDpi, &x, &y))) return 0;
    return y;
}

}  // namespace

int SystemDpi() {
    const WindowDC screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

int TextWidth(HDC dc, const std::wstring& text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
}

int WindowDpi(HWND window) {
    // Windows 10 1607 on tells each window's DPI; 8.1 tells each monitor's, which is the window's
    // for a program aware of every monitor's DPI; older systems have one DPI for everything.
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        ExportOf<GetDpiForWindowFunction>(User32(), "GetDpiForWindow");
    if (window) {
        const UINT dpi = getDpiForWindow ? getDpiForWindow(window) : MonitorDpi(window);
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

void ApplyFont(UniqueFont& kept, UniqueFont font, std::initializer_list<HWND> controls) {
    for (HWND control : controls)
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    kept = std::move(font);
}

SIZE FrameSize(DWORD style, DWORD exStyle, SIZE client, int dpi) {
    // Windows 10 1607 on; before it the frame's metrics are the system DPI's.
    using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi =
        ExportOf<AdjustForDpiFunction>(User32(), "AdjustWindowRectExForDpi");
    RECT frame{0, 0, client.cx, client.cy};
    if (adjustForDpi)
        adjustForDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi));
    else
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

}  // namespace wtsscope
