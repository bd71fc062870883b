#include "main_window/form1.h"

#include <commctrl.h>

#include "platform/record_reader.h"
#include "platform/text.h"
#include "version/version_info.h"

namespace wtsscope {
namespace {

constexpr wchar_t kClassName[] = L"wtsscope.Form1";

constexpr int kClientWidth = 6975;
constexpr int kClientHeight = 8235;
constexpr Box kLabel1Box{240, 120, 4215, 975};
constexpr Box kCommand1Box{1320, 1440, 2295, 855};
constexpr Box kList1Box{840, 2760, 4935, 4545};
constexpr Box kCommand2Box{4680, 240, 1335, 615};

constexpr int kLabelPoints = 18;

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

}  // namespace

Form1::Form1(const Platform& platform, std::function<void()> openProcessWindow)
    : platform_(platform), openProcessWindow_(std::move(openProcessWindow)) {}

HWND Form1::Create() {
    RegisterWindowClass(kClassName, WindowProc);
    return CreateTopLevelWindow(kClassName, L"Form1", kStyle, kClientWidth, kClientHeight, this);
}

std::wstring Form1::PointerToStringA(LPCSTR lpStringA) { return AnsiTextAt(lpStringA); }

LRESULT Form1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            CreateControls();
            OnLoad();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kCopyCommand && HIWORD(wParam) == 1) {
                OnCopy();
            } else if (HIWORD(wParam) == BN_CLICKED) {
                if (LOWORD(wParam) == kCommand1) OnCommand1Click();
                if (LOWORD(wParam) == kCommand2) OnCommand2Click();
            }
            return 0;
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        default:
            return DefaultHandling(message, wParam, lParam);
    }
}

void Form1::CreateControls() {
    // Created in tab order, which is also the order keyboard navigation follows.
    Command1 =
        Button(CreateChild(hwnd_, WC_BUTTONW, L"Command1", WS_TABSTOP | BS_PUSHBUTTON, kCommand1));
    List1 = ListBox(
        CreateChild(hwnd_, WC_LISTBOXW, L"",
                    WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
                    kList1, WS_EX_CLIENTEDGE));
    Command2 =
        Button(CreateChild(hwnd_, WC_BUTTONW, L"Command2", WS_TABSTOP | BS_PUSHBUTTON, kCommand2));
    Label1 = Label(CreateChild(hwnd_, WC_STATICW, L"Label1", SS_LEFT | SS_NOPREFIX, kLabel1));
    Layout(WindowDpi(hwnd_));
    ACCEL copy{FVIRTKEY | FCONTROL, 'C', kCopyCommand};
    accelerators_.reset(CreateAcceleratorTableW(&copy, 1));
    AttachAccelerators(hwnd_, accelerators_.get());
}

void Form1::Layout(int dpi) {
    UniqueFont font = CreateMessageFont(dpi);
    UniqueFont labelFont = CreatePointFont(L"MS Sans Serif", kLabelPoints, FW_NORMAL, dpi);
    for (HWND control : {Command1.Handle(), List1.Handle(), Command2.Handle()})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    SendMessageW(Label1.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(labelFont.get()), TRUE);
    // The controls use the new fonts before the old ones go.
    font_ = std::move(font);
    labelFont_ = std::move(labelFont);
    PlaceChild(Label1.Handle(), kLabel1Box, dpi);
    PlaceChild(Command1.Handle(), kCommand1Box, dpi);
    PlaceChild(List1.Handle(), kList1Box, dpi);
    PlaceChild(Command2.Handle(), kCommand2Box, dpi);
}

void Form1::OnLoad() { Label1.SetCaption(DecimalText(GetVersionCode(platform_))); }

void Form1::OnCommand1Click() {
    Sessions = GetSessions();
    List1.Clear();
    report_ = SessionReportLines(Sessions, VersionInfo);
    List1.AddItems(report_);
}

void Form1::OnCopy() {
    if (GetFocus() != List1.Handle()) return;
    std::wstring text;
    for (const std::wstring& line : report_) text += line + L"\r\n";
    if (!CopyTextToClipboard(hwnd_, text))
        platform_.ShowError(hwnd_,
                            L"ERROR " + DecimalText(static_cast<std::int32_t>(GetLastError())),
                            L"The report could not be copied to the clipboard.");
}

void Form1::OnCommand2Click() {
    if (openProcessWindow_) openProcessWindow_();
}

void Form1::OnDpiChanged(int dpi, const RECT& suggested) {
    MoveToRect(hwnd_, suggested);
    Layout(dpi);
}

std::vector<Session> Form1::GetSessions() {
    const Enumeration<SessionRecord> enumeration = platform_.EnumerateSessions();
    if (!enumeration.succeeded) {
        platform_.ShowError(
            hwnd_, L"ERROR " + DecimalText(static_cast<std::int32_t>(enumeration.lastError)),
            L"Error occurred calling WTSEnumerateSessionsA.  Check the Platform SDK "
            L"error codes in the MSDN Documentation for more information.");
        return {};
    }
    const std::vector<SessionRecord> records =
        CopyRecords<SessionRecord>(enumeration.buffer.get(), enumeration.count);
    std::vector<Session> sessions;
    sessions.reserve(records.size());
    for (const SessionRecord& record : records) {
        sessions.push_back({static_cast<std::int32_t>(record.SessionId),
                            PointerToStringA(record.pWinStationName),
                            static_cast<std::int32_t>(record.State)});
    }
    return sessions;
}

}  // namespace wtsscope
