#include "process_window/form2.h"

#include <commctrl.h>

#include <array>

#include "main_window/session_report.h"
#include "platform/record_reader.h"

namespace wtsscope {
namespace {

constexpr wchar_t kClassName[] = L"wtsscope.Form2";

constexpr int kClientWidth = 6975;
constexpr int kClientHeight = 8235;
constexpr Box kListView1Box{240, 120, 6615, 3855};
constexpr Box kCommand1Box{1200, 4560, 1815, 615};
// The width a column header gets when none is asked for.
constexpr int kColumnWidth = 1440;

struct ColumnHeader {
    const wchar_t* key;
    const wchar_t* text;
};

constexpr std::array<ColumnHeader, kProcessColumnCount> kColumnHeaders{{
    {L"SessionID", L"Session ID"},
    {L"ProcessID", L"Process ID"},
    {L"ProcessName", L"Process Name"},
    {L"UserID", L"User ID"},
}};

int LocaleCompare(const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                          static_cast<int>(a.size()), b.data(), static_cast<int>(b.size())) -
           CSTR_EQUAL;
}

}  // namespace

Form2::Form2(const Platform& platform) : platform_(platform), rows_(LocaleCompare) {}

Form2::~Form2() {
    if (hwnd_) DestroyWindow(hwnd_);
}

HWND Form2::Create() {
    if (!hwnd_) {
        RegisterWindowClass(kClassName, WindowProc);
        CreateTopLevelWindow(kClassName, L"Form2", WS_OVERLAPPEDWINDOW, kClientWidth, kClientHeight,
                             this);
    }
    return hwnd_;
}

void Form2::Show() {
    if (!Create()) return;
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

LRESULT Form2::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnLoad();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kCommand1 && HIWORD(wParam) == BN_CLICKED) OnCommand1Click();
            return 0;
        case WM_NOTIFY:
            return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_DESTROY:
            // A closed window forgets its rows and sorting; the next show loads afresh.
            rows_.Reset();
            return 0;
        default:
            return DefaultHandling(message, wParam, lParam);
    }
}

LRESULT Form2::OnNotify(const NMHDR& header) {
    if (header.idFrom != kListView1) return 0;
    switch (header.code) {
        case LVN_GETDISPINFOW:
            OnGetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
            return 0;
        case LVN_COLUMNCLICK:
            OnColumnClick(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem + 1);
            return 0;
        default:
            return 0;
    }
}

void Form2::OnLoad() {
    // The list owns no rows: it asks the model for each cell it paints.
    ListView1 = CreateChild(hwnd_, WC_LISTVIEWW, L"",
                            WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, kListView1,
                            WS_EX_CLIENTEDGE);
    Command1 =
        Button(CreateChild(hwnd_, WC_BUTTONW, L"Command1", WS_TABSTOP | BS_PUSHBUTTON, kCommand1));
    Command1.SetCaption(L"Refresh");
    for (int position = 0; position < kProcessColumnCount; ++position) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(kColumnHeaders[position].text);
        column.iSubItem = position;
        ListView_InsertColumn(ListView1, position, &column);
    }
    Layout(WindowDpi(hwnd_));
    RefreshProcessList();
}

void Form2::Layout(int dpi) {
    font_ = CreateMessageFont(dpi);
    for (HWND control : {ListView1, Command1.Handle()})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    PlaceChild(ListView1, kListView1Box, dpi);
    PlaceChild(Command1.Handle(), kCommand1Box, dpi);
    for (int position = 0; position < kProcessColumnCount; ++position)
        ListView_SetColumnWidth(ListView1, position, TwipsToPixels(kColumnWidth, dpi));
}

void Form2::OnDpiChanged(int dpi, const RECT& suggested) {
    SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout(dpi);
}

void Form2::OnCommand1Click() { RefreshProcessList(); }

void Form2::OnColumnClick(int index) {
    rows_.SortBy(static_cast<ProcessColumn>(index - 1));
    // The same rows in another order: the count stands, only the cells are painted anew.
    InvalidateRect(ListView1, nullptr, TRUE);
}

void Form2::OnGetDispInfo(NMLVDISPINFOW& info) const {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || item.iItem < 0 ||
        static_cast<std::size_t>(item.iItem) >= rows_.Size() || item.iSubItem < 0 ||
        item.iSubItem >= kProcessColumnCount || item.cchTextMax <= 0)
        return;
    const std::wstring text = rows_.CellText(static_cast<std::size_t>(item.iItem),
                                             static_cast<ProcessColumn>(item.iSubItem));
    lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
}

void Form2::RefreshProcessList() {
    rows_.Clear();
    const Enumeration<ProcessRecord> enumeration = platform_.EnumerateProcesses();
    if (!enumeration.succeeded) {
        // Emptied before the box opens: its message loop may repaint the list.
        ShowRows();
        platform_.ShowError(
            hwnd_, L"Error " + DecimalText(static_cast<std::int32_t>(enumeration.lastError)),
            L"Error occurred calling WTSEnumerateProcesses.  Check the Platform SDK "
            L"error codes in the MSDN Documentation for more information.");
        return;
    }
    // A terminal server runs thousands of processes for a few accounts: each is looked up once.
    StringNumbers<char> knownUsers;
    rows_.Reserve(enumeration.count);
    for (std::size_t i = 0; i < enumeration.count; ++i) {
        const ProcessRecord record = RecordAt<ProcessRecord>(enumeration.buffer.get(), i);
        // The same few hundred names come round again and again: each is converted once.
        rows_.Add(
            static_cast<std::int32_t>(record.SessionId),
            static_cast<std::int32_t>(record.ProcessId), ReadAnsiText(record.pProcessName),
            [&record] { return PointerToStringBytes(record.pProcessName); },
            UserOf(record.pUserSid, knownUsers));
    }
    rows_.Finish();
    // A selection, focus or scroll position belonged to the old rows: emptying the list drops it.
    // With none, the list goes straight to the new count: each count is a new scroll range.
    if (ListView_GetSelectedCount(ListView1) != 0 || ListView_GetTopIndex(ListView1) != 0 ||
        ListView_GetNextItem(ListView1, -1, LVNI_FOCUSED) != -1)
        ListView_SetItemCountEx(ListView1, 0, 0);
    ShowRows();
}

std::wstring Form2::PointerToStringBytes(LPCSTR address) {
    return AnsiToWide(ReadAnsiText(address));
}

std::uint32_t Form2::UserOf(PSID sid, StringNumbers<char>& known) {
    // The identifier's own bytes are the key: revision, count, authority, then the count's
    // sub-authorities. A null or malformed one is the empty key, which names no account.
    std::string_view key;
    const auto* identifier = static_cast<const SID*>(sid);
    if (identifier && identifier->Revision == SID_REVISION &&
        identifier->SubAuthorityCount <= SID_MAX_SUB_AUTHORITIES)
        key = {static_cast<const char*>(sid),
               offsetof(SID, SubAuthority) + identifier->SubAuthorityCount * sizeof(DWORD)};
    const std::size_t seen = known.Size();
    const std::uint32_t user = known.Number(key);
    if (known.Size() == seen) return user;
    return rows_.AddUser(key.empty() ? std::wstring() : platform_.AccountText(sid));
}

void Form2::ShowRows() {
    // A new count repaints the whole list.
    ListView_SetItemCountEx(ListView1, static_cast<int>(rows_.Size()), 0);
}

}  // namespace wtsscope
