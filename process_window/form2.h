#pragma once

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/ui.h"
#include "process_window/process_table.h"

namespace wtsscope {

// Every process of every session in a sortable four-column report.
class Form2 : public Window<Form2> {
  public:
    enum ControlId { kListView1 = 201, kCommand1 };
    enum CommandId { kRefreshCommand = 2001, kSelectAllCommand, kCopyCommand };

    explicit Form2(const Platform& platform);
    ~Form2();
    Form2(const Form2&) = delete;
    Form2& operator=(const Form2&) = delete;

    // Loads the window if it is not open, without showing it; its handle, or null on failure.
    HWND Create();
    // Loads the window if it is not open, then shows it, modeless and without an owner.
    void Show();

    const ProcessTable& Rows() const { return rows_; }

  private:
    friend class Window<Form2>;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(const NMHDR& header);
    void OnLoad();
    void OnCommand1Click();
    void OnColumnClick(int index);
    void OnGetDispInfo(NMLVDISPINFOW& info) const;
    void OnDpiChanged(int dpi, const RECT& suggested);
    void OnSize();
    void OnGetMinMaxInfo(MINMAXINFO& limits) const;
    void OnSelectAll();
    void OnCopy();

    void RefreshProcessList();
    static std::wstring PointerToStringBytes(LPCSTR address);
    // The account text index of an identifier, looked up the first time it is seen in a refresh.
    std::uint32_t UserOf(PSID sid, StringNumbers<char>& known);
    void ShowRows();
    void Layout(int dpi);
    void PlaceControls();
    void FitColumns();
    void ShowSortArrow();
    // The processes selected and focused, by identifier, so they survive a new order or new rows.
    struct Selection {
        std::vector<std::int32_t> selected;
        std::optional<std::int32_t> focused;
    };
    Selection SelectedProcesses() const;
    void Select(const Selection& selection);
    std::vector<std::size_t> SelectedRows() const;

    const Platform& platform_;
    ProcessTable rows_;
    HWND ListView1 = nullptr;
    Button Command1;
    UniqueFont font_;
    UniqueAccelerators accelerators_;
    int dpi_ = USER_DEFAULT_SCREEN_DPI;
};

}  // namespace wtsscope
