// Both executables as the loader sees them: built for this machine, relocatable so that they load
// at a random address (with the full 64-bit range on x86_64), with data pages not executable,
// aware of terminal servers, the program asking for the highest rights its user has (an
// administrator's, to see every session's processes), and importing nothing that Windows Vista SP2
// lacks.

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/windows/child_process.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wtsscope {
namespace {

struct Headers {
    WORD machine;
    WORD characteristics;
    WORD magic;
    WORD subsystem;
    WORD dllCharacteristics;
    IMAGE_DATA_DIRECTORY directories[IMAGE_NUMBEROF_DIRECTORY_ENTRIES];
    std::size_t sectionsAt;
    WORD sectionCount;
};

template <class Optional>
void ReadOptional(const unsigned char* at, Headers& headers) {
    Optional optional{};
    std::memcpy(&optional, at, sizeof(optional));
    headers.subsystem = optional.Subsystem;
    headers.dllCharacteristics = optional.DllCharacteristics;
    for (DWORD i = 0; i < IMAGE_NUMBEROF_DIRECTORY_ENTRIES && i < optional.NumberOfRvaAndSizes; ++i)
        headers.directories[i] = optional.DataDirectory[i];
}

// The headers at the start of an image, whether mapped or as the file holds it: both begin alike.
std::optional<Headers> ReadHeaders(const unsigned char* image, std::size_t size) {
    IMAGE_DOS_HEADER dos;
    if (size < sizeof(dos)) return std::nullopt;
    std::memcpy(&dos, image, sizeof(dos));
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0) return std::nullopt;
    const auto at = static_cast<std::size_t>(dos.e_lfanew);
    if (size < at + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER) + sizeof(WORD)) return std::nullopt;
    DWORD signature = 0;
    std::memcpy(&signature, image + at, sizeof(signature));
    if (signature != IMAGE_NT_SIGNATURE) return std::nullopt;
    IMAGE_FILE_HEADER file;
    std::memcpy(&file, image + at + sizeof(DWORD), sizeof(file));
    const std::size_t optionalAt = at + sizeof(DWORD) + sizeof(file);
    if (size < optionalAt + file.SizeOfOptionalHeader) return std::nullopt;

    Headers headers{};
    headers.machine = file.Machine;
    headers.characteristics = file.Characteristics;
    headers.sectionsAt = optionalAt + file.SizeOfOptionalHeader;
    headers.sectionCount = file.NumberOfSections;
    std::memcpy(&headers.magic, image + optionalAt, sizeof(WORD));
    if (headers.magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC &&
        file.SizeOfOptionalHeader >= sizeof(IMAGE_OPTIONAL_HEADER64)) {
        ReadOptional<IMAGE_OPTIONAL_HEADER64>(image + optionalAt, headers);
    } else if (headers.magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC &&
               file.SizeOfOptionalHeader >= sizeof(IMAGE_OPTIONAL_HEADER32)) {
        ReadOptional<IMAGE_OPTIONAL_HEADER32>(image + optionalAt, headers);
    } else {
        return std::nullopt;
    }
    return headers;
}

// Where the file holds the bytes at an address of the loaded image, through the section that maps
// them; nothing when no section's data in the file holds all of them.
std::optional<std::size_t> FileOffset(const std::vector<unsigned char>& file,
                                      const Headers& headers, DWORD address, std::size_t size) {
    for (WORD i = 0; i < headers.sectionCount; ++i) {
        const std::size_t at = headers.sectionsAt + i * sizeof(IMAGE_SECTION_HEADER);
        if (file.size() < at + sizeof(IMAGE_SECTION_HEADER)) return std::nullopt;
        IMAGE_SECTION_HEADER section;
        std::memcpy(&section, file.data() + at, sizeof(section));
        if (address < section.VirtualAddress) continue;
        const std::size_t into = address - section.VirtualAddress;
        if (into >= section.SizeOfRawData) continue;
        if (size > section.SizeOfRawData - into) return std::nullopt;
        const std::size_t offset = section.PointerToRawData + into;
        if (offset > file.size() || size > file.size() - offset) return std::nullopt;
        return offset;
    }
    return std::nullopt;
}

// A NUL-terminated name at an address of the image, whole within the file.
std::optional<std::string> NameAt(const std::vector<unsigned char>& file, const Headers& headers,
                                  DWORD address) {
    const std::optional<std::size_t> offset = FileOffset(file, headers, address, 1);
    if (!offset) return std::nullopt;
    const auto* begin = reinterpret_cast<const char*>(file.data() + *offset);
    const auto* end = reinterpret_cast<const char*>(file.data() + file.size());
    const auto* nul = std::find(begin, end, '\0');
    if (nul == end) return std::nullopt;
    return std::string(begin, nul);
}

struct Import {
    std::string library;   // in lower case, as names of files compare
    std::string function;  // "#" and the ordinal for an import by number
};

// Every function an image imports, from its import directory: a descriptor per library, each with
// a table of entries the width of a pointer that name a function or, with the top bit set, give its
// ordinal. Nothing when the directory points outside the file.
std::optional<std::vector<Import>> ReadImports(const std::vector<unsigned char>& file,
                                               const Headers& headers) {
    const bool wide = headers.magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    const std::size_t entrySize = wide ? sizeof(ULONGLONG) : sizeof(DWORD);
    const ULONGLONG byOrdinal = wide ? IMAGE_ORDINAL_FLAG64 : IMAGE_ORDINAL_FLAG32;
    std::vector<Import> imports;
    DWORD at = headers.directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    if (at == 0) return imports;
    for (;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const std::optional<std::size_t> offset =
            FileOffset(file, headers, at, sizeof(IMAGE_IMPORT_DESCRIPTOR));
        if (!offset) return std::nullopt;
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        std::memcpy(&descriptor, file.data() + *offset, sizeof(descriptor));
        if (descriptor.Name == 0 && descriptor.FirstThunk == 0) break;  // the closing entry
        std::optional<std::string> library = NameAt(file, headers, descriptor.Name);
        if (!library) return std::nullopt;
        std::transform(library->begin(), library->end(), library->begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
        // Without a lookup table the address table says the same until the loader fills it in.
        DWORD entryAt =
            descriptor.OriginalFirstThunk ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
        for (;; entryAt += static_cast<DWORD>(entrySize)) {
            const std::optional<std::size_t> entryOffset =
                FileOffset(file, headers, entryAt, entrySize);
            if (!entryOffset) return std::nullopt;
            ULONGLONG entry = 0;
            std::memcpy(&entry, file.data() + *entryOffset, entrySize);
            if (entry == 0) break;
            if (entry & byOrdinal) {
                std::string ordinal = std::to_string(entry & 0xFFFF);
                ordinal.insert(0, 1, '#');
                imports.push_back({*library, ordinal});
                continue;
            }
            // A hint of two bytes, then the name.
            const std::optional<std::string> name =
                NameAt(file, headers, static_cast<DWORD>(entry & 0x7FFFFFFF) + sizeof(WORD));
            if (!name) return std::nullopt;
            imports.push_back({*library, *name});
        }
    }
    return imports;
}

// The program built beside this test executable.
std::wstring ProductPath() {
    const std::wstring self = ModulePath(nullptr);
    return self.substr(0, self.find_last_of(L"\\/") + 1) + L"wtsscope.exe";
}

std::vector<unsigned char> FileBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The application manifest an executable carries, or nothing.
std::optional<std::string> ManifestOf(const std::wstring& path) {
    const HMODULE module = LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return std::nullopt;
    std::optional<std::string> text;
    if (const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST)) {
        const HGLOBAL loaded = LoadResource(module, found);
        const auto* bytes = static_cast<const char*>(LockResource(loaded));
        if (bytes) text.emplace(bytes, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return text;
}

// The level the manifest's requestedExecutionLevel asks for; empty when it asks for none.
std::string RequestedLevel(const std::string& manifest) {
    const std::size_t element = manifest.find("requestedExecutionLevel");
    if (element == std::string::npos) return {};
    const std::size_t end = manifest.find('>', element);
    const std::string tag = manifest.substr(element, end - element);
    const std::size_t attribute = tag.find("level=\"");
    if (attribute == std::string::npos) return {};
    const std::size_t value = attribute + 7;
    return tag.substr(value, tag.find('"', value) - value);
}

constexpr bool k64Bit = sizeof(void*) == 8;
constexpr WORD kMachine = k64Bit ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
constexpr WORD kMagic = k64Bit ? IMAGE_NT_OPTIONAL_HDR64_MAGIC : IMAGE_NT_OPTIONAL_HDR32_MAGIC;

void ExpectHardened(const Headers& headers) {
    EXPECT_EQ(headers.machine, kMachine);
    EXPECT_EQ(headers.magic, kMagic);
    EXPECT_TRUE(headers.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(headers.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    // A Remote Desktop Session Host would otherwise apply its compatibility for legacy programs.
    EXPECT_TRUE(headers.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE);
    // A relocatable image with its relocations stripped would still load at its preferred base.
    EXPECT_FALSE(headers.characteristics & IMAGE_FILE_RELOCS_STRIPPED);
    EXPECT_GT(headers.directories[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size, 0u);
    if (k64Bit) {
        EXPECT_TRUE(headers.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);
        EXPECT_TRUE(headers.characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE);
    }
}

TEST(PeHeaders, TheProgramIsARelocatableNonExecutableDataGuiImage) {
    const std::vector<unsigned char> bytes = FileBytes(ProductPath());
    ASSERT_FALSE(bytes.empty()) << "wtsscope.exe is built beside the tests";
    const std::optional<Headers> headers = ReadHeaders(bytes.data(), bytes.size());
    ASSERT_TRUE(headers);
    ExpectHardened(*headers);
    EXPECT_EQ(headers->subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST(PeHeaders, TheTestsAreBuiltTheSameWay) {
    const auto* image = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const std::optional<Headers> headers = ReadHeaders(image, 4096);
    ASSERT_TRUE(headers);
    ExpectHardened(*headers);
    EXPECT_EQ(headers->subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);
    // The file on disk says the same as the image in memory.
    const std::vector<unsigned char> bytes = FileBytes(ModulePath(nullptr));
    const std::optional<Headers> onDisk = ReadHeaders(bytes.data(), bytes.size());
    ASSERT_TRUE(onDisk);
    EXPECT_EQ(onDisk->dllCharacteristics, headers->dllCharacteristics);
}

// Every function the program may import, reviewed against the minimum supported client that
// Microsoft's documentation gives for it: none is later than Windows Vista, so the program starts
// on Vista SP2 and on every later system without any update. A newer function is looked up at run
// time (GetProcAddress) with a fallback; one added here must be checked the same way first.
struct ReviewedLibrary {
    const char* library;
    const char* functions;  // separated by blanks
};

const ReviewedLibrary kReviewedImports[] = {
    {"kernel32.dll",
     // Windows XP or earlier.
     "AddVectoredExceptionHandler CloseHandle CompareStringW CreateEventA CreateSemaphoreA "
     "DeleteCriticalSection DuplicateHandle EnterCriticalSection FreeLibrary GetCurrentProcess "
     "GetCurrentProcessId GetCurrentThread GetCurrentThreadId GetHandleInformation GetLastError "
     "FormatMessageA GetModuleHandleA GetModuleHandleW GetProcAddress GetProcessAffinityMask "
     "GetStartupInfoW GetSystemDirectoryW GetSystemInfo GetSystemTimeAsFileTime GetThreadContext "
     "GetThreadPriority GetVersionExA GlobalAlloc GlobalFree GlobalLock GlobalUnlock "
     "InitializeCriticalSection IsDBCSLeadByteEx IsDebuggerPresent LeaveCriticalSection "
     "LoadLibraryA LoadLibraryExW LoadLibraryW LocalFree MulDiv MultiByteToWideChar OpenProcess "
     "OutputDebugStringA RaiseException ReleaseSemaphore RemoveVectoredExceptionHandler ResetEvent "
     "ResumeThread RtlCaptureContext SetEvent SetLastError SetProcessAffinityMask SetThreadContext "
     "SetThreadPriority SetUnhandledExceptionFilter Sleep SuspendThread TlsAlloc TlsGetValue "
     "TlsSetValue TryEnterCriticalSection VirtualProtect VirtualQuery WaitForMultipleObjects "
     "WaitForSingleObject WideCharToMultiByte lstrcpynW "
     // Windows XP SP1.
     "SetDllDirectoryW "
     // Windows Vista.
     "GetTickCount64 "
     // x64 only, with no minimum in the documentation: in every x64 kernel32, from the first
     // (Windows XP x64) on.
     "RtlLookupFunctionEntry RtlUnwindEx RtlVirtualUnwind __C_specific_handler"},
    // Windows 2000 or earlier.
    {"user32.dll",
     "AdjustWindowRectEx AppendMenuW CloseClipboard CreateAcceleratorTableW CreatePopupMenu "
     "CreateWindowExW DefWindowProcW DestroyAcceleratorTable DestroyMenu DestroyWindow "
     "DispatchMessageW EmptyClipboard GetAncestor GetClassInfoExW GetClientRect GetDC "
     "GetDlgCtrlID GetFocus GetMessageW GetNextDlgTabItem GetPropW GetSystemMetrics GetWindow "
     "GetWindowLongPtrW GetWindowLongW GetWindowRect GetWindowTextLengthW GetWindowTextW "
     "InvalidateRect IsChild IsDialogMessageW IsIconic IsWindowEnabled KillTimer LoadCursorW "
     "LoadIconW MessageBoxW MonitorFromWindow MoveWindow OpenClipboard PostMessageW "
     "PostQuitMessage PtInRect RegisterClassExW ReleaseDC RemovePropW SendMessageW "
     "SetClipboardData SetFocus SetForegroundWindow SetPropW SetTimer SetWindowLongPtrW "
     "SetWindowLongW SetWindowPos SetWindowTextW ShowWindow SystemParametersInfoW "
     "TrackPopupMenu TranslateAcceleratorW TranslateMessage"},
    // Windows 2000 or earlier.
    {"gdi32.dll",
     "CreateFontIndirectW DeleteObject GetDeviceCaps GetTextExtentPoint32W SelectObject"},
    // Windows Vista (comctl32.dll 4.70).
    {"comctl32.dll", "InitCommonControlsEx"},
    // Windows XP.
    {"advapi32.dll",
     "ConvertSidToStringSidW LsaClose LsaFreeMemory LsaLookupSids LsaOpenPolicy "
     "LsaQueryInformationPolicy"},
    // The system's C runtime, which the documentation gives no minimum for, function by function.
    // All of these are exports of the msvcrt.dll of Windows XP or earlier (mingw-w64's import
    // library sorts its exports by the release that added them).
    {"msvcrt.dll",
     "___lc_codepage_func ___mb_cur_max_func __iob_func __mb_cur_max __p__commode __p__fmode "
     "__p__wcmdln __set_app_type __setusermatherr __wgetmainargs __winitenv _amsg_exit "
     "_beginthreadex _cexit _close _commode _endthreadex _errno _fmode _initterm _iob _onexit "
     "_read _setjmp _setjmp3 _strdup _ultoa _wcmdln abort atoi calloc exit fprintf fputc fputs "
     "fputwc free fwprintf fwrite localeconv longjmp malloc memchr memcmp memcpy memmove memset "
     "printf realloc setlocale signal strchr strcmp strerror strlen strncmp vfprintf wcslen"},
};

bool Reviewed(const Import& import) {
    for (const ReviewedLibrary& reviewed : kReviewedImports) {
        if (import.library != reviewed.library) continue;
        // Whole names only: a blank, or either end of the list, on both sides.
        const std::string_view functions = reviewed.functions;
        for (std::size_t at = functions.find(import.function); at != std::string_view::npos;
             at = functions.find(import.function, at + 1)) {
            const std::size_t end = at + import.function.size();
            if ((at == 0 || functions[at - 1] == ' ') &&
                (end == functions.size() || functions[end] == ' '))
                return true;
        }
        return false;
    }
    return false;
}

TEST(PeHeaders, TheProgramImportsOnlyFunctionsThatWindowsVistaHas) {
    const std::vector<unsigned char> bytes = FileBytes(ProductPath());
    const std::optional<Headers> headers = ReadHeaders(bytes.data(), bytes.size());
    ASSERT_TRUE(headers);
    const std::optional<std::vector<Import>> imports = ReadImports(bytes, *headers);
    ASSERT_TRUE(imports) << "the import directory lies within the file";
    ASSERT_GE(imports->size(), 100u) << "the runtime alone imports a hundred functions";
    for (const Import& import : *imports) {
        EXPECT_TRUE(Reviewed(import))
            << import.library << "!" << import.function << " is not in the reviewed list";
        // Read right, each names a function that the library loaded here exports.
        const HMODULE library =
            LoadLibraryExW(std::wstring(import.library.begin(), import.library.end()).c_str(),
                           nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        ASSERT_NE(library, nullptr) << import.library;
        EXPECT_NE(GetProcAddress(library, import.function.c_str()), nullptr)
            << import.library << "!" << import.function;
        FreeLibrary(library);
    }
    // A delay-loaded function that the system lacks would fail at its first call instead.
    EXPECT_EQ(headers->directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].Size, 0u);
}

// Wine has no UAC and runs every program with a full token: only the manifest can be checked here.
TEST(PeHeaders, TheProgramAsksForTheHighestRightsItsUserHasAndNoMore) {
    const std::optional<std::string> manifest = ManifestOf(ProductPath());
    ASSERT_TRUE(manifest) << "wtsscope.exe carries an application manifest";
    EXPECT_EQ(RequestedLevel(*manifest), "highestAvailable");
    EXPECT_NE(manifest->find("uiAccess=\"false\""), std::string::npos);
    EXPECT_EQ(manifest->find("requireAdministrator"), std::string::npos);

    // Whatever manifest the toolchain gave the tests, it asks for no prompt: they run unattended.
    if (const std::optional<std::string> own = ManifestOf(ModulePath(nullptr))) {
        const std::string level = RequestedLevel(*own);
        EXPECT_TRUE(level.empty() || level == "asInvoker") << level;
    }
}

TEST(PeHeaders, TheProgramDeclaresVisualStylesDpiAndOnlySystemsUpToWindows8) {
    const std::optional<std::string> manifest = ManifestOf(ProductPath());
    ASSERT_TRUE(manifest);
    EXPECT_NE(manifest->find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest->find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest->find("PerMonitorV2"), std::string::npos);
    EXPECT_NE(manifest->find("<dpiAware"), std::string::npos);
    // Windows 8.1 and 10 declared would change the version the platform reports.
    EXPECT_EQ(manifest->find("1f676c76-80e1-4239-95bb-83d0f6d0da78"), std::string::npos);
    EXPECT_EQ(manifest->find("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"), std::string::npos);
    EXPECT_NE(manifest->find("4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38"), std::string::npos);
}

TEST(PeHeaders, TheProgramCarriesItsIconAndVersion) {
    const HMODULE module = LoadLibraryExW(
        ProductPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON), nullptr);
    const HRSRC version = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    ASSERT_NE(version, nullptr);
    const auto* block = static_cast<const wchar_t*>(LockResource(LoadResource(module, version)));
    const std::wstring text(block, SizeofResource(module, version) / sizeof(wchar_t));
    for (const wchar_t* expected : {L"ProductName", L"wtsscope", L"FileDescription", L"1.0.0"})
        EXPECT_NE(text.find(expected), std::wstring::npos) << expected;
    // The fixed part carries the numeric file version 1.0.0.0.
    const auto* bytes = reinterpret_cast<const unsigned char*>(block);
    const std::size_t size = SizeofResource(module, version);
    const unsigned char signature[] = {0xBD, 0x04, 0xEF, 0xFE};
    const auto* fixedAt = std::search(bytes, bytes + size, signature, signature + 4);
    ASSERT_NE(fixedAt, bytes + size);
    VS_FIXEDFILEINFO fixed{};
    std::memcpy(&fixed, fixedAt, sizeof(fixed));
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed.dwFileVersionLS, 0u);
    FreeLibrary(module);
}

}  // namespace
}  // namespace wtsscope
