#include "platform/ui.h"

#include "platform/system_library.h"

namespace wtsscope {
namespace {

// The thread's one message loop runs until the last of the program's windows has closed.
int openTopLevelWindows = 0;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

constexpr wchar_t kAcceleratorsProperty[] = L"wtsscope.accelerators";

int SystemDpi() {
    const WindowDC screen(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

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

HWND CreateTopLevelWindow(const wchar_t* className, const wchar_t* caption, DWORD style,
                          int clientWidthTwips, int clientHeightTwips, void* self) {
    const auto frameAt = [&](int dpi) {
        return FrameSize(
            style, 0, {TwipsToPixels(clientWidthTwips, dpi), TwipsToPixels(clientHeightTwips, dpi)},
            dpi);
    };
    const SIZE guess = frameAt(SystemDpi());
    const HWND window =
        CreateWindowExW(0, className, caption, style, CW_USEDEFAULT, CW_USEDEFAULT, guess.cx,
                        guess.cy, nullptr, nullptr, GetModuleHandleW(nullptr), self);
    if (!window) return nullptr;
    // A monitor of another DPI than the system's gets its own size.
    const SIZE frame = frameAt(WindowDpi(window));
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

void PlaceChild(HWND child, const Box& twips, int dpi) {
    const Box pixels = ScaleBox(twips, dpi);
    MoveWindow(child, pixels.left, pixels.top, pixels.width, pixels.height, TRUE);
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

namespace window_detail {

void Opened() { ++openTopLevelWindows; }

void Closed() {
    if (--openTopLevelWindows == 0) PostQuitMessage(0);
}

void AttachAccelerators(HWND window, HACCEL accelerators) {
    SetPropW(window, kAcceleratorsProperty, accelerators);
}

void DetachAccelerators(HWND window) { RemovePropW(window, kAcceleratorsProperty); }

LRESULT FocusedButtonAsDefault(HWND window) {
    const HWND focus = GetFocus();
    if (!focus || !IsChild(window, focus) || !IsWindowEnabled(focus)) return 0;
    const LRESULT code = SendMessageW(focus, WM_GETDLGCODE, 0, 0);
    if (!(code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) return 0;
    return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
}

}  // namespace window_detail

// --- ListBox ---------------------------------------------------------------------------------

void ListBox::Clear() { SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0); }

void ListBox::AddItems(const std::vector<std::wstring>& lines) {
    SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    std::size_t characters = 0;
    for (const std::wstring& line : lines) characters += line.size() + 1;
    // Room for all lines at once rather than growing line by line.
    SendMessageW(hwnd_, LB_INITSTORAGE, lines.size(),
                 static_cast<LPARAM>(characters * sizeof(wchar_t)));
    for (const std::wstring& line : lines)
        SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void ListBox::SetHorizontalExtent(int pixels) {
    SendMessageW(hwnd_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(pixels), 0);
}

// --- ListView --------------------------------------------------------------------------------

namespace {

int RowIndex(std::size_t row) { return static_cast<int>(row); }

std::optional<std::size_t> RowOf(LRESULT index) {
    if (index < 0) return std::nullopt;
    return static_cast<std::size_t>(index);
}

}  // namespace

void ListView::SetExtendedStyle(DWORD style) { ListView_SetExtendedListViewStyle(hwnd_, style); }

void ListView::AddColumn(int position, const wchar_t* header) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_SUBITEM;
    // Only read when a column is inserted.
    column.pszText = const_cast<wchar_t*>(header);  // NOLINT(cppcoreguidelines-pro-type-const-cast)
    column.iSubItem = position;
    ListView_InsertColumn(hwnd_, position, &column);
}

int ListView::ColumnWidth(int position) const { return ListView_GetColumnWidth(hwnd_, position); }

void ListView::SetColumnWidth(int position, int width) {
    ListView_SetColumnWidth(hwnd_, position, width);
}

void ListView::ShowSortArrow(std::optional<int> sortedColumn) {
    const HWND header = ListView_GetHeader(hwnd_);
    const int columns = Header_GetItemCount(header);
    for (int position = 0; position < columns; ++position) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, position, &item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (sortedColumn == position) item.fmt |= HDF_SORTUP;
        Header_SetItem(header, position, &item);
    }
}

void ListView::SetRowCount(std::size_t rows) { ListView_SetItemCountEx(hwnd_, RowIndex(rows), 0); }

int ListView::TopRow() const { return ListView_GetTopIndex(hwnd_); }

std::size_t ListView::SelectedCount() const { return ListView_GetSelectedCount(hwnd_); }

std::vector<std::size_t> ListView::SelectedRows() const {
    std::vector<std::size_t> rows;
    // Asking for the next selected row walks the list; with none selected there is nothing to ask.
    if (SelectedCount() == 0) return rows;
    for (int row = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(hwnd_, row, LVNI_SELECTED))
        rows.push_back(static_cast<std::size_t>(row));
    return rows;
}

std::optional<std::size_t> ListView::FocusedRow() const {
    return RowOf(ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED));
}

std::optional<std::size_t> ListView::SelectionMark() const {
    return RowOf(ListView_GetSelectionMark(hwnd_));
}

void ListView::SetSelectionMark(std::optional<std::size_t> row) {
    ListView_SetSelectionMark(hwnd_, row ? RowIndex(*row) : -1);
}

void ListView::Select(std::size_t row) {
    ListView_SetItemState(hwnd_, RowIndex(row), LVIS_SELECTED, LVIS_SELECTED);
}

void ListView::SelectAll() { ListView_SetItemState(hwnd_, -1, LVIS_SELECTED, LVIS_SELECTED); }

void ListView::Focus(std::size_t row) {
    ListView_SetItemState(hwnd_, RowIndex(row), LVIS_FOCUSED, LVIS_FOCUSED);
}

void ListView::ClearSelectionAndFocus() {
    ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
}

void ListView::EnsureVisible(std::size_t row) {
    ListView_EnsureVisible(hwnd_, RowIndex(row), FALSE);
}

void ListView::RepaintRows() { InvalidateRect(hwnd_, nullptr, TRUE); }

namespace {

std::optional<ListSearch> RequestedSearch(const NMLVFINDITEMW& request) {
    const LVFINDINFOW& find = request.lvfi;
    // Wrapping alone asks for a text too.
    constexpr UINT kText = LVFI_STRING | LVFI_PARTIAL | LVFI_SUBSTRING | LVFI_WRAP;
    if ((find.flags & (LVFI_PARAM | LVFI_NEARESTXY)) || !(find.flags & kText) || !find.psz)
        return std::nullopt;
    return ListSearch{.text = find.psz,
                      .match = find.flags & (LVFI_PARTIAL | LVFI_SUBSTRING) ? TextMatch::Prefix
                                                                            : TextMatch::Whole,
                      .start = request.iStart > 0 ? static_cast<std::size_t>(request.iStart) : 0,
                      .wrap = (find.flags & LVFI_WRAP) != 0};
}

}  // namespace

std::optional<LRESULT> ListView::AnswerOwnerData(NMHDR& notification, const OwnerData& owner) {
    switch (notification.code) {
        case LVN_GETDISPINFOW: {
            LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(notification).item;
            // Only a text of a cell that is there, into the room the list gives.
            if ((item.mask & LVIF_TEXT) && item.iItem >= 0 &&
                static_cast<std::size_t>(item.iItem) < owner.rows && item.iSubItem >= 0 &&
                item.iSubItem < owner.columns && item.pszText && item.cchTextMax > 0) {
                const std::wstring text =
                    owner.cellText(static_cast<std::size_t>(item.iItem), item.iSubItem);
                lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
            }
            return 0;
        }
        case LVN_ODFINDITEMW: {
            const std::optional<ListSearch> search =
                RequestedSearch(reinterpret_cast<const NMLVFINDITEMW&>(notification));
            const std::optional<std::size_t> row = search ? owner.find(*search) : std::nullopt;
            return row && *row < owner.rows ? static_cast<LRESULT>(*row) : -1;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace wtsscope
