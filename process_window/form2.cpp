#include "process_window/form2.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "process_window/process_fill.h"

namespace wtsscope {
namespace {

constexpr wchar_t kClassName[] = L"wtsscope.Form2";
// Posted by the account lookups when names are waiting.
constexpr UINT kAccountNamesMessage = WM_APP + 1;

// The smallest client area that still shows some rows and the whole button.
constexpr int kMinimumClientWidth = 3600;
constexpr int kMinimumClientHeight = 4980;

int LocaleCompare(std::wstring_view a, std::wstring_view b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                          static_cast<int>(a.size()), b.data(), static_cast<int>(b.size())) -
           CSTR_EQUAL;
}

}  // namespace

Form2::Form2(const Platform& platform)
    : Window(platform), rows_(LocaleCompare, [&platform](const void* sid) {
          // Only read: the platform's declaration lacks the const.
          return platform.IdentifierText(const_cast<PSID>(sid));  // NOLINT(*-const-cast)
      }) {}

HWND Form2::Create() {
    return CreateOnce(kClassName, L"Form2", WS_OVERLAPPEDWINDOW, kClientWidth, kClientHeight);
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
            return OnNotify(*reinterpret_cast<NMHDR*>(lParam));
        case WM_CONTEXTMENU:
            OnContextMenu(reinterpret_cast<HWND>(wParam), lParam);
            return 0;
        case kAccountNamesMessage:
            OnAccountNames();
            return 0;
        case WM_DESTROY:
            // A closed window forgets its rows, sorting and accounts, and drops names still on
            // their way; the next show loads afresh.
            accountLookups_.reset();
            rows_.Reset();
            return 0;
        default:
            return DefaultHandling(message, wParam, lParam);
    }
}

LRESULT Form2::OnNotify(NMHDR& header) {
    if (const std::optional<int> column = ListView1.ColumnWithNewWidth(header)) {
        columns_.OnWidthChanged(*column);
        return 0;
    }
    if (header.idFrom != kListView1) return 0;
    if (header.code == LVN_COLUMNCLICK) {
        OnColumnClick(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
        return 0;
    }
    // The list owns no rows: it asks the model for each cell it paints, and for the row typing
    // goes to, which is looked for in the sorted column while it is shown (the name otherwise).
    const std::optional<ProcessColumn> sorted = rows_.SortColumn();
    const ProcessColumn searched =
        sorted && columns_.IsShown(*sorted) ? *sorted : ProcessColumn::ProcessName;
    const OwnerData rows{
        rows_.Size(), columns_.Count(),
        [this](std::size_t row, int column) {
            const std::optional<ProcessColumn> shown = columns_.At(column);
            return shown ? rows_.CellText(row, *shown) : std::wstring();
        },
        [this, searched](const ListSearch& search) { return rows_.Find(search, searched); }};
    return ListView::AnswerOwnerData(header, rows).value_or(0);
}

void Form2::OnLoad() {
    // The list owns no rows: it asks the model for each cell it paints.
    ListView1 = ListView(CreateChild(hwnd_, WC_LISTVIEWW, L"",
                                     WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS,
                                     kListView1, WS_EX_CLIENTEDGE));
    ListView1.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    Command1 =
        Button(CreateChild(hwnd_, WC_BUTTONW, L"Command1", WS_TABSTOP | BS_PUSHBUTTON, kCommand1));
    Command1.SetCaption(L"Refresh");
    columns_.Attach(ListView1);
    FocusFirst(ListView1.Handle());
    dpi_ = WindowDpi(hwnd_);
    Layout(dpi_);
    ACCEL keys[] = {{FVIRTKEY, VK_F5, kRefreshCommand},
                    {FVIRTKEY | FCONTROL, 'A', kSelectAllCommand},
                    {FVIRTKEY | FCONTROL, 'C', kCopyCommand}};
    UseAccelerators(keys);
    accountLookups_.emplace(platform_, hwnd_, kAccountNamesMessage);
    RefreshProcessList();
}

void Form2::Layout(int dpi) {
    ApplyFont(font_, CreateMessageFont(dpi), {ListView1.Handle(), Command1.Handle()});
    PlaceControls();
    FitColumns();
}

void Form2::PlaceControls() {
    if (!ListView1.Handle()) return;
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
    MoveWindow(ListView1.Handle(), list.left, list.top, list.width, list.height, TRUE);
    MoveWindow(Command1.Handle(), button.left, button.top, button.width, button.height, TRUE);
}

void Form2::OnSize() { PlaceControls(); }

void Form2::OnGetMinMaxInfo(MINMAXINFO& limits) const {
    // At the DPI the window is moving to, when a DPI change moves it.
    const SIZE frame = FrameSize(
        static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)),
        static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)),
        {TwipsToPixels(kMinimumClientWidth, dpi_), TwipsToPixels(kMinimumClientHeight, dpi_)},
        dpi_);
    limits.ptMinTrackSize = {frame.cx, frame.cy};
}

std::optional<std::int32_t> Form2::ProcessAt(std::optional<std::size_t> row) const {
    // The list can count rows the model no longer has, after a refresh that failed half-way.
    if (!row || *row >= rows_.Size()) return std::nullopt;
    return rows_.ProcessId(*row);
}

Form2::Selection Form2::SelectedProcesses() const {
    Selection selection;
    const std::size_t count = ListView1.SelectedCount();
    // Every row selected is kept as that, not as a walk of the whole list.
    selection.all = count != 0 && count == rows_.Size();
    if (!selection.all)
        for (const std::size_t row : ListView1.SelectedRows())
            if (const std::optional<std::int32_t> id = ProcessAt(row))
                selection.selected.push_back(*id);
    selection.focused = ProcessAt(ListView1.FocusedRow());
    selection.mark = ProcessAt(ListView1.SelectionMark());
    return selection;
}

void Form2::Select(const Selection& selection, std::optional<std::int32_t> top) {
    if (selection.all) ListView1.SelectAll();
    if (selection.selected.empty() && !selection.focused && !selection.mark && !top) return;
    std::vector<std::int32_t> wanted = selection.selected;
    std::sort(wanted.begin(), wanted.end());
    std::optional<std::size_t> focused;
    std::optional<std::size_t> mark;
    std::optional<std::size_t> topRow;
    for (std::size_t row = 0; row < rows_.Size(); ++row) {
        const std::int32_t id = rows_.ProcessId(row);
        if (std::binary_search(wanted.begin(), wanted.end(), id)) ListView1.Select(row);
        if (!focused && selection.focused == id) focused = row;
        if (!mark && selection.mark == id) mark = row;
        if (!topRow && top == id) topRow = row;
    }
    if (focused) {
        ListView1.Focus(*focused);
        if (!top) ListView1.EnsureVisible(*focused);
    }
    // Focusing a row moves the mark to it; the anchor stays where it was.
    ListView1.SetSelectionMark(mark);
    // Last: Wine's list scrolls to a row given the focus, which Windows' does not.
    if (topRow) ListView1.ScrollToTop(*topRow);
}

void Form2::OnSelectAll() { ListView1.SelectAll(); }

void Form2::OnCopy() {
    const DWORD error = platform_.CopyToClipboard(
        hwnd_, rows_.RowsAsText(ListView1.SelectedRows(), columns_.Shown()));
    if (error != ERROR_SUCCESS)
        platform_.ShowError(hwnd_, L"Error", error,
                            L"The selected rows could not be copied to the clipboard.");
}

void Form2::OnCommand1Click() { RefreshProcessList(); }

void Form2::OnColumnClick(int listColumn) {
    if (const std::optional<ProcessColumn> column = columns_.At(listColumn)) SortBy(*column);
}

void Form2::OnContextMenu(HWND source, LPARAM where) {
    // From the mouse over the list's header; from the keyboard (Shift+F10, the menu key) while
    // the list has the focus, under the header's left end.
    RECT header{};
    GetWindowRect(ListView1.Header(), &header);
    POINT at{GET_X_LPARAM(where), GET_Y_LPARAM(where)};
    if (where == -1) {
        if (source != ListView1.Handle()) return;
        at = {header.left, header.bottom};
    } else if (!PtInRect(&header, at)) {
        return;
    }
    if (!columns_.ChooseFromMenu(hwnd_, at)) return;
    // A column shown has no arrow yet; hiding the sorted one leaves the order without one.
    columns_.ShowSortArrow(rows_.SortColumn());
    FitColumns();
    ListView1.RepaintRows();
}

void Form2::SortBy(ProcessColumn column, View view) {
    const Selection selection = SelectedProcesses();
    std::optional<std::int32_t> top;
    if (view == View::HoldStill) {
        const int topRow = ListView1.TopRow();
        if (topRow >= 0) top = ProcessAt(static_cast<std::size_t>(topRow));
    }
    rows_.SortBy(column);
    columns_.ShowSortArrow(column);
    if (selection.all || !selection.selected.empty() || selection.focused)
        ListView1.ClearSelectionAndFocus();
    Select(selection, top);
    // The same rows in another order: the count stands, only the cells are painted anew.
    ListView1.RepaintRows();
}

void Form2::RefreshProcessList() {
    const Selection selection = SelectedProcesses();
    rows_.Clear();
    try {
        const ProcessEnumeration enumeration = platform_.EnumerateProcesses();
        if (!enumeration.succeeded()) {
            // Emptied before the box opens: its message loop may repaint the list.
            ListView1.SetRowCount(0);
            platform_.ShowError(
                hwnd_, L"Error", enumeration.error,
                L"Error occurred calling WTSEnumerateProcesses.  Check the Platform SDK "
                L"error codes in the MSDN Documentation for more information.");
            return;
        }
        FillRows(rows_, enumeration);
    } catch (...) {
        // The model is empty after a fill that failed half-way: the list must not go on counting
        // the old rows.
        ListView1.SetRowCount(0);
        throw;
    }
    AskForAccountNames();
    // A selection, focus or scroll position belonged to the old rows: emptying the list drops it.
    // With none, the list goes straight to the new count: each count is a new scroll range.
    if (ListView1.SelectedCount() != 0 || ListView1.TopRow() != 0 || ListView1.FocusedRow() ||
        ListView1.SelectionMark())
        ListView1.SetRowCount(0);
    ListView1.SetRowCount(rows_.Size());
    FitColumns();
    Select(selection);
}

void Form2::AskForAccountNames() {
    // The new accounts stay with the rows until there are lookups to take them.
    if (!accountLookups_) return;
    std::vector<std::uint32_t> accounts = rows_.TakeNewAccounts();
    std::vector<std::string> identifiers;
    identifiers.reserve(accounts.size());
    for (const std::uint32_t account : accounts)
        identifiers.emplace_back(rows_.AccountIdentifier(account));
    accountLookups_->Ask(std::move(accounts), std::move(identifiers));
}

void Form2::OnAccountNames() {
    if (!accountLookups_) return;
    bool named = false;
    for (AccountLookups::Answer& answer : accountLookups_->TakeAnswers())
        named |= rows_.NameAccount(answer.number, std::move(answer.name));
    if (!named) return;
    FitColumns();
    // Sorted by account, the rows take their places among the names, without moving the view
    // under a user who may be reading or scrolling it; otherwise only the texts change.
    if (rows_.SortColumn() == ProcessColumn::UserId)
        SortBy(ProcessColumn::UserId, View::HoldStill);
    else
        ListView1.RepaintRows();
}

}  // namespace wtsscope
