#include "process_window/form2.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <iterator>

#include "platform/record_reader.h"
#include "platform/text.h"

namespace wtsscope {
namespace {

constexpr wchar_t kClassName[] = L"wtsscope.Form2";

constexpr int kClientWidth = 6975;
constexpr int kClientHeight = 8235;
constexpr Box kListView1Box{240, 120, 6615, 3855};
constexpr Box kCommand1Box{1200, 4560, 1815, 615};
// The smallest client area that still shows some rows and the whole button.
constexpr int kMinimumClientWidth = 3600;
constexpr int kMinimumClientHeight = 4980;
// Room around a cell's text, and a header's text and sort arrow, in twips.
constexpr int kCellPadding = 240;
constexpr int kHeaderPadding = 480;

// The columns' keys, in column order, for those who name a column rather than count it.
constexpr std::array<const wchar_t*, kProcessColumnCount> kColumnKeys{L"SessionID", L"ProcessID",
                                                                      L"ProcessName", L"UserID"};

int LocaleCompare(const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                          static_cast<int>(a.size()), b.data(), static_cast<int>(b.size())) -
           CSTR_EQUAL;
}

}  // namespace

Form2::Form2(const Platform& platform) : platform_(platform), rows_(LocaleCompare) {}

Form2::~Form2() {
    if (hwnd_) DestroyWindow(hwnd_);
}

HWND Form2::Create() {
    if (!hwnd_) {
        RegisterWindowClass(kClassName, WindowProc);
        CreateTopLevelWindow(kClassName, L"Form2", WS_OVERLAPPEDWINDOW, kClientWidth, kClientHeight,
                             this);
    }
    return hwnd_;
}

void Form2::Show() {
    if (!Create()) return;
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

LRESULT Form2::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnLoad();
            return 0;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kCommand1:
                    if (HIWORD(wParam) == BN_CLICKED) OnCommand1Click();
                    break;
                case kRefreshCommand:
                    OnCommand1Click();
                    break;
                case kSelectAllCommand:
                    OnSelectAll();
                    break;
                case kCopyCommand:
                    OnCopy();
                    break;
                default:
                    break;
            }
            return 0;
        case WM_SIZE:
            OnSize();
            return 0;
        case WM_GETMINMAXINFO:
            OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
            return 0;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_DESTROY:
            // A closed window forgets its rows and sorting; the next show loads afresh.
            rows_.Reset();
            return 0;
        default:
            return DefaultHandling(message, wParam, lParam);
    }
}

LRESULT Form2::OnNotify(const NMHDR& header) {
    if (header.idFrom != kListView1) return 0;
    switch (header.code) {
        case LVN_GETDISPINFOW:
            OnGetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
            return 0;
        case LVN_COLUMNCLICK:
            OnColumnClick(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem + 1);
            return 0;
        default:
            return 0;
    }
}

void Form2::OnLoad() {
    // The list owns no rows: it asks the model for each cell it paints.
    ListView1 = CreateChild(hwnd_, WC_LISTVIEWW, L"",
                            WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, kListView1,
                            WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(ListView1, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    Command1 =
        Button(CreateChild(hwnd_, WC_BUTTONW, L"Command1", WS_TABSTOP | BS_PUSHBUTTON, kCommand1));
    Command1.SetCaption(L"Refresh");
    for (int position = 0; position < kProcessColumnCount; ++position) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(kProcessColumnHeaders[position]);
        column.iSubItem = position;
        ListView_InsertColumn(ListView1, position, &column);
    }
    static_assert(kColumnKeys.size() == kProcessColumnCount);
    Layout(WindowDpi(hwnd_));
    ACCEL keys[] = {{FVIRTKEY, VK_F5, kRefreshCommand},
                    {FVIRTKEY | FCONTROL, 'A', kSelectAllCommand},
                    {FVIRTKEY | FCONTROL, 'C', kCopyCommand}};
    accelerators_.reset(CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys))));
    AttachAccelerators(hwnd_, accelerators_.get());
    RefreshProcessList();
}

void Form2::Layout(int dpi) {
    dpi_ = dpi;
    UniqueFont font = CreateMessageFont(dpi);
    for (HWND control : {ListView1, Command1.Handle()})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    // The controls use the new font before the old one goes.
    font_ = std::move(font);
    PlaceControls();
    FitColumns();
}

void Form2::PlaceControls() {
    if (!ListView1) return;
    // At the design size the table's boxes stand as they are; a larger window gives its extra
    // width and height to the list, and the button keeps its place below it.
    RECT client;
    GetClientRect(hwnd_, &client);
    const int extraWidth = client.right - TwipsToPixels(kClientWidth, dpi_);
    const int extraHeight = client.bottom - TwipsToPixels(kClientHeight, dpi_);
    Box list = ScaleBox(kListView1Box, dpi_);
    list.width = std::max(0, list.width + extraWidth);
    list.height = std::max(0, list.height + extraHeight);
    Box button = ScaleBox(kCommand1Box, dpi_);
    button.top += extraHeight;
    MoveWindow(ListView1, list.left, list.top, list.width, list.height, TRUE);
    MoveWindow(Command1.Handle(), button.left, button.top, button.width, button.height, TRUE);
}

void Form2::OnSize() { PlaceControls(); }

void Form2::OnGetMinMaxInfo(MINMAXINFO& limits) const {
    RECT frame{0, 0, TwipsToPixels(kMinimumClientWidth, dpi_),
               TwipsToPixels(kMinimumClientHeight, dpi_)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    limits.ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
}

void Form2::FitColumns() {
    // Measured from the model, never by asking the list for every row's text.
    HDC context = GetDC(ListView1);
    if (!context) return;
    const HGDIOBJ previous = SelectObject(context, font_.get());
    const auto measure = [context](const std::wstring& text) {
        SIZE size{};
        GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
    };
    for (int position = 0; position < kProcessColumnCount; ++position) {
        int width = measure(kProcessColumnHeaders[position]) + TwipsToPixels(kHeaderPadding, dpi_);
        for (const std::wstring& text : rows_.WidthCandidates(static_cast<ProcessColumn>(position)))
            width = std::max(width, measure(text) + TwipsToPixels(kCellPadding, dpi_));
        if (ListView_GetColumnWidth(ListView1, position) != width)
            ListView_SetColumnWidth(ListView1, position, width);
    }
    SelectObject(context, previous);
    ReleaseDC(ListView1, context);
}

void Form2::ShowSortArrow() {
    const HWND header = ListView_GetHeader(ListView1);
    const auto sorted = rows_.SortColumn();
    for (int position = 0; position < kProcessColumnCount; ++position) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, position, &item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (sorted && static_cast<int>(*sorted) == position) item.fmt |= HDF_SORTUP;
        Header_SetItem(header, position, &item);
    }
}

Form2::Selection Form2::SelectedProcesses() const {
    Selection selection;
    for (const std::size_t row : SelectedRows())
        selection.selected.push_back(rows_.Row(row).ProcessId);
    const int focused = ListView_GetNextItem(ListView1, -1, LVNI_FOCUSED);
    if (focused >= 0 && static_cast<std::size_t>(focused) < rows_.Size())
        selection.focused = rows_.Row(static_cast<std::size_t>(focused)).ProcessId;
    return selection;
}

void Form2::Select(const Selection& selection) {
    if (selection.selected.empty() && !selection.focused) return;
    std::vector<std::int32_t> wanted = selection.selected;
    std::sort(wanted.begin(), wanted.end());
    for (std::size_t row = 0; row < rows_.Size(); ++row) {
        const std::int32_t id = rows_.Row(row).ProcessId;
        UINT state = 0;
        if (std::binary_search(wanted.begin(), wanted.end(), id)) state |= LVIS_SELECTED;
        if (selection.focused == id) state |= LVIS_FOCUSED;
        if (state == 0) continue;
        ListView_SetItemState(ListView1, static_cast<int>(row), state, state);
        if (state & LVIS_FOCUSED) ListView_EnsureVisible(ListView1, static_cast<int>(row), FALSE);
    }
}

std::vector<std::size_t> Form2::SelectedRows() const {
    std::vector<std::size_t> rows;
    // Asking for the next selected row walks the list; with none selected there is nothing to ask.
    if (ListView_GetSelectedCount(ListView1) == 0) return rows;
    for (int row = ListView_GetNextItem(ListView1, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(ListView1, row, LVNI_SELECTED))
        rows.push_back(static_cast<std::size_t>(row));
    return rows;
}

void Form2::OnSelectAll() { ListView_SetItemState(ListView1, -1, LVIS_SELECTED, LVIS_SELECTED); }

void Form2::OnCopy() {
    if (!CopyTextToClipboard(hwnd_, rows_.RowsAsText(SelectedRows())))
        platform_.ShowError(hwnd_,
                            L"Error " + DecimalText(static_cast<std::int32_t>(GetLastError())),
                            L"The selected rows could not be copied to the clipboard.");
}

void Form2::OnDpiChanged(int dpi, const RECT& suggested) {
    MoveToRect(hwnd_, suggested);
    Layout(dpi);
}

void Form2::OnCommand1Click() { RefreshProcessList(); }

void Form2::OnColumnClick(int index) {
    const Selection selection = SelectedProcesses();
    rows_.SortBy(static_cast<ProcessColumn>(index - 1));
    ShowSortArrow();
    if (!selection.selected.empty() || selection.focused) {
        ListView_SetItemState(ListView1, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        Select(selection);
    }
    // The same rows in another order: the count stands, only the cells are painted anew.
    InvalidateRect(ListView1, nullptr, TRUE);
}

void Form2::OnGetDispInfo(NMLVDISPINFOW& info) const {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || item.iItem < 0 ||
        static_cast<std::size_t>(item.iItem) >= rows_.Size() || item.iSubItem < 0 ||
        item.iSubItem >= kProcessColumnCount || item.cchTextMax <= 0)
        return;
    const std::wstring text = rows_.CellText(static_cast<std::size_t>(item.iItem),
                                             static_cast<ProcessColumn>(item.iSubItem));
    lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
}

void Form2::RefreshProcessList() {
    const Selection selection = SelectedProcesses();
    rows_.Clear();
    const Enumeration<ProcessRecord> enumeration = platform_.EnumerateProcesses();
    if (!enumeration.succeeded) {
        // Emptied before the box opens: its message loop may repaint the list.
        ShowRows();
        platform_.ShowError(
            hwnd_, L"Error " + DecimalText(static_cast<std::int32_t>(enumeration.lastError)),
            L"Error occurred calling WTSEnumerateProcesses.  Check the Platform SDK "
            L"error codes in the MSDN Documentation for more information.");
        return;
    }
    // A terminal server runs thousands of processes for a few accounts: each is looked up once.
    StringNumbers<char> knownUsers;
    rows_.Reserve(enumeration.count);
    for (std::size_t i = 0; i < enumeration.count; ++i) {
        const ProcessRecord record = RecordAt<ProcessRecord>(enumeration.buffer.get(), i);
        // The same few hundred names come round again and again: each is converted once.
        rows_.Add(
            static_cast<std::int32_t>(record.SessionId),
            static_cast<std::int32_t>(record.ProcessId), ReadAnsiText(record.pProcessName),
            [&record] { return PointerToStringBytes(record.pProcessName); },
            UserOf(record.pUserSid, knownUsers));
    }
    rows_.Finish();
    // A selection, focus or scroll position belonged to the old rows: emptying the list drops it.
    // With none, the list goes straight to the new count: each count is a new scroll range.
    if (ListView_GetSelectedCount(ListView1) != 0 || ListView_GetTopIndex(ListView1) != 0 ||
        ListView_GetNextItem(ListView1, -1, LVNI_FOCUSED) != -1)
        ListView_SetItemCountEx(ListView1, 0, 0);
    ShowRows();
    FitColumns();
    Select(selection);
}

std::wstring Form2::PointerToStringBytes(LPCSTR address) { return AnsiTextAt(address); }

std::uint32_t Form2::UserOf(PSID sid, StringNumbers<char>& known) {
    // The identifier's own bytes are the key: revision, count, authority, then the count's
    // sub-authorities. A null or malformed one is the empty key, which names no account.
    std::string_view key;
    const auto* identifier = static_cast<const SID*>(sid);
    if (identifier && identifier->Revision == SID_REVISION &&
        identifier->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES)
        key = {static_cast<const char*>(sid),
               offsetof(SID, SubAuthority) + identifier->SubAuthorityCount * sizeof(DWORD)};
    const std::size_t seen = known.Size();
    const std::uint32_t user = known.Number(key);
    if (known.Size() == seen) return user;
    return rows_.AddUser(key.empty() ? std::wstring() : platform_.AccountText(sid));
}

void Form2::ShowRows() {
    // A new count repaints the whole list.
    ListView_SetItemCountEx(ListView1, static_cast<int>(rows_.Size()), 0);
}

}  // namespace wtsscope
