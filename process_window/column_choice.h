#pragma once

// The process list's columns: which it shows, where, and how wide. The first four columns of the
// table are always shown; each cost column only when the user chooses it from the header's menu,
// in the table's order. A hidden column is no column of the list at all, so no drag can open it.
// The choice lasts while the list does.

#include <windows.h>

#include <array>
#include <optional>
#include <vector>

#include "platform/controls.h"
#include "process_window/process_table.h"

namespace wtsscope {

class ColumnChoice {
  public:
    // A new list, with the four columns: every width follows the texts again.
    void Attach(ListView list);

    // In the list's order.
    std::vector<ProcessColumn> Shown() const;
    bool IsShown(ProcessColumn column) const { return shown_[static_cast<int>(column)]; }
    int Count() const;
    // The column of the table shown at a column of the list.
    std::optional<ProcessColumn> At(int listColumn) const;

    // Opens the menu of the cost columns at a point of the screen and shows or hides the one
    // chosen; true when one was.
    bool ChooseFromMenu(HWND owner, POINT where);

    // The arrow on the sorted column's header, while it is shown: down where the column sorts
    // largest first.
    void ShowSortArrow(std::optional<ProcessColumn> sorted);

    // Fits each shown column whose width the user has not set to its header and the widest of
    // its cells; the widths the user set stay as large on the screen at a new DPI.
    void Fit(HFONT font, int dpi, const ProcessTable& rows);
    // A column of the list changed its width: the user's doing unless the program is fitting.
    void OnWidthChanged(int listColumn);

  private:
    std::optional<int> ListColumn(ProcessColumn column) const;
    void Toggle(ProcessColumn column);

    ListView list_;
    // By the table's column.
    std::array<bool, kProcessColumnCount> shown_{};
    std::array<bool, kProcessColumnCount> userWidths_{};
    // The DPI the widths were last set at.
    int widthsDpi_ = USER_DEFAULT_SCREEN_DPI;
    // While the program itself sets widths or changes the columns.
    bool fitting_ = false;
};

}  // namespace wtsscope
