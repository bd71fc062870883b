#pragma once

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <string>

#include "platform/platform.h"
#include "platform/ui.h"
#include "process_window/process_table.h"

namespace wtsscope {

// Every process of every session in a sortable four-column report.
class Form2 : public Window<Form2> {
  public:
    enum ControlId { kListView1 = 201, kCommand1 };

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

    void RefreshProcessList();
    static std::wstring PointerToStringBytes(LPCSTR address);
    // The account text index of an identifier, looked up the first time it is seen in a refresh.
    std::uint32_t UserOf(PSID sid, StringNumbers<char>& known);
    void ShowRows();
    void Layout(int dpi);

    const Platform& platform_;
    ProcessTable rows_;
    HWND ListView1 = nullptr;
    Button Command1;
    UniqueFont font_;
};

}  // namespace wtsscope
