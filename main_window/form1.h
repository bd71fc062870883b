#pragma once

#include <functional>
#include <vector>

#include "main_window/session_report.h"
#include "platform/platform.h"
#include "platform/controls.h"
#include "platform/fonts_and_dpi.h"
#include "platform/window.h"

namespace wtsscope {

// The startup window: the version code, the session listing, and the way to the process window.
class Form1 : public Window<Form1> {
  public:
    enum ControlId { kLabel1 = 101, kCommand1, kList1, kCommand2 };
    enum CommandId { kCopyCommand = 1001 };

    // The design, in twips: the client area and where each control sits in it.
    static constexpr int kClientWidth = 6975;
    static constexpr int kClientHeight = 8235;
    static constexpr Box kLabel1Box{240, 120, 4215, 975};
    static constexpr Box kCommand1Box{1320, 1440, 2295, 855};
    static constexpr Box kList1Box{840, 2760, 4935, 4545};
    static constexpr Box kCommand2Box{4680, 240, 1335, 615};

    Form1(const Platform& platform, std::function<void()> openProcessWindow);

    // Loads the window if it is not open; its handle, or null on failure.
    HWND Create();

    // The zero-terminated ANSI text at lpStringA in the system's ANSI code page; 0 is no text.
    static std::wstring PointerToStringA(LPCSTR lpStringA);

  private:
    friend class Window<Form1>;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnLoad();
    void OnCommand1Click();
    void OnCommand2Click();
    void OnCopy();

    std::vector<Session> GetSessions();
    void CreateControls();
    void Layout(int dpi);
    // Lets List1 scroll sideways as far as its widest line.
    void FitListExtent();

    std::function<void()> openProcessWindow_;
    std::vector<Session> Sessions;
    // The version as the platform reported it when the window loaded; the listing prints it.
    VersionRecord VersionInfo{};
    std::vector<std::wstring> report_;

    Label Label1;
    Button Command1;
    ListBox List1;
    Button Command2;
    UniqueFont font_;
    UniqueFont labelFont_;
};

}  // namespace wtsscope
