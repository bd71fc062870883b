#include "main_window/form1.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/record_reader.h"
#include "platform/text.h"
#include "version/version_info.h"

namespace wtsscope {
namespace {

constexpr wchar_t kClassName[] = L"wtsscope.Form1";

constexpr int kLabelPoints = 18;

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

}  // namespace

Form1::Form1(const Platform& platform, std::function<void()> openProcessWindow)
    : Window(platform), openProcessWindow_(std::move(openProcessWindow)) {}

HWND Form1::Create() {
    return CreateOnce(kClassName, L"Form1", kStyle, kClientWidth, kClientHeight);
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
    FocusFirst(Command1.Handle());
    dpi_ = WindowDpi(hwnd_);
    Layout(dpi_);
    ACCEL keys[] = {{FVIRTKEY | FCONTROL, 'C', kCopyCommand}};
    UseAccelerators(keys);
}

void Form1::Layout(int dpi) {
    ApplyFont(font_, CreateMessageFont(dpi),
              {Command1.Handle(), List1.Handle(), Command2.Handle()});
    ApplyFont(labelFont_, CreatePointFont(L"MS Sans Serif", kLabelPoints, FW_NORMAL, dpi),
              {Label1.Handle()});
    PlaceChild(Label1.Handle(), kLabel1Box, dpi);
    PlaceChild(Command1.Handle(), kCommand1Box, dpi);
    PlaceChild(List1.Handle(), kList1Box, dpi);
    PlaceChild(Command2.Handle(), kCommand2Box, dpi);
    FitListExtent();
}

void Form1::FitListExtent() {
    const WindowDC dc(List1.Handle());
    if (!dc) return;
    const SelectedObject font(dc.get(), font_.get());
    int widest = 0;
    for (const std::wstring& line : report_) widest = std::max(widest, TextWidth(dc.get(), line));
    // A list box draws its lines a little way in from its left edge; the same room on the right.
    const int margin = 2 * GetSystemMetrics(SM_CXEDGE) + 2;
    List1.SetHorizontalExtent(widest == 0 ? 0 : widest + margin);
}

void Form1::OnLoad() { Label1.SetCaption(DecimalText(GetVersionCode(platform_, VersionInfo))); }

void Form1::OnCommand1Click() {
    Sessions = GetSessions();
    List1.Clear();
    report_ = SessionReportLines(Sessions, VersionInfo);
    List1.AddItems(report_);
    FitListExtent();
}

void Form1::OnCopy() {
    if (GetFocus() != List1.Handle()) return;
    std::wstring text;
    for (const std::wstring& line : report_) text += line + L"\r\n";
    const DWORD error = platform_.CopyToClipboard(hwnd_, text);
    if (error != ERROR_SUCCESS)
        platform_.ShowError(hwnd_, L"ERROR", error,
                            L"The report could not be copied to the clipboard.");
}

void Form1::OnCommand2Click() {
    if (openProcessWindow_) openProcessWindow_();
}

std::vector<Session> Form1::GetSessions() {
    const Enumeration<SessionRecord> enumeration = platform_.EnumerateSessions();
    if (!enumeration.succeeded()) {
        platform_.ShowError(
            hwnd_, L"ERROR", enumeration.error,
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
