#include <windows.h>
#include <commctrl.h>

#include "main_window/form1.h"
#include "platform/system_library.h"
#include "process_window/form2.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    wtsscope::RestrictLibrarySearch(wtsscope::SystemSetDefaultDllDirectories());

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    const wtsscope::Platform platform;
    wtsscope::Form2 form2(platform);
    wtsscope::Form1 form1(platform, [&form2] { form2.Show(); });
    if (!form1.Create()) return 1;
    ShowWindow(form1.Handle(), showCommand);
    return wtsscope::RunMessageLoop();
}
