#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/account_lookups.h"
#include "platform/platform.h"
#include "platform/controls.h"
#include "platform/fonts_and_dpi.h"
#include "platform/window.h"
#include "process_window/column_choice.h"
#include "process_window/process_table.h"

namespace wtsscope {

// Every process of every session in a sortable report: four columns, and what each process costs
// on demand.
class Form2 : public Window<Form2> {
  public:
    enum ControlId { kListView1 = 201, kCommand1 };
    enum CommandId { kRefreshCommand = 2001, kSelectAllCommand, kCopyCommand };

    // The design, in twips: the client area and where each control sits in it. A larger window
    // gives its extra room to the list.
    static constexpr int kClientWidth = 6975;
    static constexpr int kClientHeight = 8235;
    static constexpr Box kListView1Box{240, 120, 6615, 3855};
    static constexpr Box kCommand1Box{1200, 4560, 1815, 615};

    explicit Form2(const Platform& platform);

    // Loads the window if it is not open, without showing it; its handle, or null on failure.
    HWND Create();
    // Loads the window if it is not open, then shows it, modeless and without an owner.
    void Show();

  private:
    friend class Window<Form2>;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(NMHDR& header);
    void OnLoad();
    void OnCommand1Click();
    void OnColumnClick(int listColumn);
    void OnContextMenu(HWND source, LPARAM where);
    void OnAccountNames();
    void OnSize();
    void OnGetMinMaxInfo(MINMAXINFO& limits) const;
    void OnSelectAll();
    void OnCopy();

    void RefreshProcessList();
    // Hands the accounts new to the rows to the lookups, which ask again with them for those their
    // last lookups did not name: called at every fill, with new accounts or none.
    void AskForAccountNames();
    // How the list shows a new order: the user's own actions bring the focused row into view;
    // names arriving in the background leave the same process in the first visible row.
    enum class View { ShowFocus, HoldStill };
    // Shows the rows sorted by the column, the same processes selected, focused and marked.
    void SortBy(ProcessColumn column, View view = View::ShowFocus);
    void Layout(int dpi);
    void PlaceControls();
    void FitColumns() { columns_.Fit(font_.get(), dpi_, rows_); }
    // The processes selected, focused and marked (the anchor of Shift+click), by identifier, so
    // they survive a new order or new rows. A selection of every row stays every row.
    struct Selection {
        bool all = false;
        std::vector<std::int32_t> selected;
        std::optional<std::int32_t> focused;
        std::optional<std::int32_t> mark;
    };
    Selection SelectedProcesses() const;
    // Selects them again; top: the process to stay in the first visible row, rather than the list
    // scrolling to the focused row.
    void Select(const Selection& selection, std::optional<std::int32_t> top = std::nullopt);
    // The process in a row of the list, none for a row the model does not have.
    std::optional<std::int32_t> ProcessAt(std::optional<std::size_t> row) const;

    ProcessTable rows_;
    // While the window is open.
    std::optional<AccountLookups> accountLookups_;
    ListView ListView1;
    Button Command1;
    UniqueFont font_;
    ColumnChoice columns_;
};

}  // namespace wtsscope
