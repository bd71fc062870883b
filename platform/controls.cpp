#include "platform/controls.h"

namespace wtsscope {

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
    NumberSubItems();
}

void ListView::DeleteColumn(int position) {
    ListView_DeleteColumn(hwnd_, position);
    NumberSubItems();
}

void ListView::NumberSubItems() {
    // Each column asks for the cells of its own position, whichever way the list numbers them.
    const int columns = Header_GetItemCount(Header());
    for (int position = 0; position < columns; ++position) {
        LVCOLUMNW column{};
        column.mask = LVCF_SUBITEM;
        column.iSubItem = position;
        ListView_SetColumn(hwnd_, position, &column);
    }
}

int ListView::ColumnWidth(int position) const { return ListView_GetColumnWidth(hwnd_, position); }

void ListView::SetColumnWidth(int position, int width) {
    ListView_SetColumnWidth(hwnd_, position, width);
}

std::optional<int> ListView::ColumnWithNewWidth(const NMHDR& notification) const {
    // The code first: the list's own notifications, a cell's text for each it paints among them,
    // never cost a question to the list.
    const auto& header = reinterpret_cast<const NMHEADERW&>(notification);
    switch (notification.code) {
        case HDN_ENDTRACKW:
        case HDN_DIVIDERDBLCLICKW:
            break;
        case HDN_ITEMCHANGEDW:
            if (header.pitem && (header.pitem->mask & HDI_WIDTH)) break;
            return std::nullopt;
        default:
            return std::nullopt;
    }
    if (!hwnd_ || notification.hwndFrom != Header() || header.iItem < 0) return std::nullopt;
    return header.iItem;
}

void ListView::ShowSortArrow(std::optional<int> sortedColumn, Arrow arrow) {
    const HWND header = Header();
    const int columns = Header_GetItemCount(header);
    for (int position = 0; position < columns; ++position) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        Header_GetItem(header, position, &item);
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (sortedColumn == position) item.fmt |= arrow == Arrow::Up ? HDF_SORTUP : HDF_SORTDOWN;
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

void ListView::ScrollToTop(std::size_t row) {
    const int top = TopRow();
    RECT bounds{};
    if (RowIndex(row) == top || !ListView_GetItemRect(hwnd_, top, &bounds, LVIR_BOUNDS)) return;
    // A report view scrolls by whole rows, rounding what it is given: a multiple of the row's
    // height is taken as it is.
    ListView_Scroll(hwnd_, 0, (RowIndex(row) - top) * (bounds.bottom - bounds.top));
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

std::optional<LRESULT> ListView::AnswerNothing(NMHDR& notification) {
    switch (notification.code) {
        case LVN_GETDISPINFOW: {
            // Only into the room the list gives; the buffer holds whatever the list last put there.
            LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(notification).item;
            if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0)
                item.pszText[0] = L'\0';
            return 0;
        }
        case LVN_ODFINDITEMW:
            return -1;
        default:
            return std::nullopt;
    }
}

std::optional<LRESULT> ListView::AnswerOwnerData(NMHDR& notification, const OwnerData& owner) {
    switch (notification.code) {
        case LVN_GETDISPINFOW: {
            const LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(notification).item;
            // A cell the owner does not have (a row gone with a failed refresh, or asked for while
            // the window closes) reads empty.
            if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0 ||
                item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= owner.rows ||
                item.iSubItem < 0 || item.iSubItem >= owner.columns)
                return AnswerNothing(notification);
            const std::wstring text =
                owner.cellText(static_cast<std::size_t>(item.iItem), item.iSubItem);
            lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
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

std::optional<std::size_t> ChooseFromMenu(HWND owner, POINT where,
                                          const std::vector<CheckItem>& items) {
    const UniqueMenu menu(CreatePopupMenu());
    if (!menu) return std::nullopt;
    // Item identifiers count from 1: TrackPopupMenu answers 0 for a menu dismissed.
    for (std::size_t i = 0; i < items.size(); ++i)
        AppendMenuW(menu.get(), MF_STRING | (items[i].checked ? MF_CHECKED : MF_UNCHECKED), i + 1,
                    items[i].text);
    const BOOL chosen = TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, where.x,
                                       where.y, 0, owner, nullptr);
    if (chosen <= 0) return std::nullopt;
    return static_cast<std::size_t>(chosen) - 1;
}

}  // namespace wtsscope
