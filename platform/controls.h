#pragma once

// Non-owning wrappers of the controls the windows hold, and the answer to an owner-data list's
// questions about the rows its owner keeps.

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/list_search.h"

// Windows Vista on; MinGW-w64's commctrl.h lacks it.
#ifndef LVFI_SUBSTRING
#define LVFI_SUBSTRING 0x0004
#endif

namespace wtsscope {

// A control whose only state the program sets is its text.
class TextControl {
  public:
    explicit TextControl(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    HWND Handle() const { return hwnd_; }
    void SetCaption(const std::wstring& caption) { SetWindowTextW(hwnd_, caption.c_str()); }

  private:
    HWND hwnd_;
};

using Label = TextControl;
using Button = TextControl;

class ListBox {
  public:
    explicit ListBox(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    HWND Handle() const { return hwnd_; }
    void Clear();
    // Appends the lines at the end, painting once afterwards rather than once per line.
    void AddItems(const std::vector<std::wstring>& lines);
    // How far the list scrolls sideways, in pixels.
    void SetHorizontalExtent(int pixels);

  private:
    HWND hwnd_;
};

// What an owner-data list asks of the rows its owner keeps: how many there are, the text of a cell,
// and the row a search finds.
struct OwnerData {
    std::size_t rows;
    int columns;
    std::function<std::wstring(std::size_t row, int column)> cellText;
    std::function<std::optional<std::size_t>(const ListSearch& search)> find;
};

// A report-view list whose rows the program keeps itself (owner data): the list asks for each
// cell it paints and only holds the count, the selection and the focus.
class ListView {
  public:
    explicit ListView(HWND hwnd = nullptr) : hwnd_(hwnd) {}
    HWND Handle() const { return hwnd_; }

    HWND Header() const { return ListView_GetHeader(hwnd_); }
    void SetExtendedStyle(DWORD style);
    // A column inserted or deleted moves the ones after it: each column's cells are asked for by
    // its position.
    void AddColumn(int position, const wchar_t* header);
    void DeleteColumn(int position);
    int ColumnWidth(int position) const;
    void SetColumnWidth(int position, int width);
    // The column whose width changed, from a notification the list passes on to its parent from
    // its header (hwndFrom is the header, idFrom the header's own identifier): a divider dragged
    // (HDN_ENDTRACKW) or double-clicked (HDN_DIVIDERDBLCLICKW, after which the list fits the column
    // itself), or a width changed any other way (HDN_ITEMCHANGEDW, as while a divider is dragged
    // with the full-drag style every report view's header has). Windows passes all three on; Wine 8
    // passes on the first two and keeps HDN_ITEMCHANGED to itself. A width the program sets comes
    // as HDN_ITEMCHANGEDW too: the caller tells the user's from its own. None for any other
    // notification.
    std::optional<int> ColumnWithNewWidth(const NMHDR& notification) const;
    // The arrow on the sorted column's header, up or down, none on the others.
    enum class Arrow { Up, Down };
    void ShowSortArrow(std::optional<int> sortedColumn, Arrow arrow = Arrow::Up);

    // A new count repaints the whole list; the selection and focus stay on their row numbers.
    void SetRowCount(std::size_t rows);
    int TopRow() const;

    std::size_t SelectedCount() const;
    // The selected rows from top to bottom.
    std::vector<std::size_t> SelectedRows() const;
    std::optional<std::size_t> FocusedRow() const;
    // The anchor of Shift+click and Shift+arrows.
    std::optional<std::size_t> SelectionMark() const;
    void SetSelectionMark(std::optional<std::size_t> row);
    void Select(std::size_t row);
    void SelectAll();
    void Focus(std::size_t row);
    void ClearSelectionAndFocus();
    void EnsureVisible(std::size_t row);
    // Scrolls until the row is the first visible one, or as far as the list scrolls.
    void ScrollToTop(std::size_t row);
    void RepaintRows();

    // The answer to the list's question about its rows: a cell's text (LVN_GETDISPINFOW) or the
    // row a search finds (LVN_ODFINDITEMW, read as LVFINDINFOW and NMLVFINDITEMW document it; a
    // search by item data or position, or without a text, finds none). None for any other
    // notification.
    static std::optional<LRESULT> AnswerOwnerData(NMHDR& notification, const OwnerData& owner);
    // The answer that tells the list nothing: an empty cell, no row found. None for any other
    // notification.
    static std::optional<LRESULT> AnswerNothing(NMHDR& notification);

  private:
    void NumberSubItems();

    HWND hwnd_;
};

using UniqueMenu = UniqueHandle<HMENU, &::DestroyMenu>;

struct CheckItem {
    const wchar_t* text;
    bool checked;
};

// Opens a popup menu of check items at a point of the screen, for the owner, and waits for the
// user's choice: the index of the item chosen, none if the menu was dismissed.
std::optional<std::size_t> ChooseFromMenu(HWND owner, POINT where,
                                          const std::vector<CheckItem>& items);

}  // namespace wtsscope
