// Both executables as the loader sees them: built for this machine, relocatable so that they load
// at a random address (with the full 64-bit range on x86_64), with data pages not executable, and
// the program asking to run with the user's own rights, never elevated.

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/windows/window_test_support.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace wtsscope {
namespace {

struct Headers {
    WORD machine;
    WORD characteristics;
    WORD magic;
    WORD subsystem;
    WORD dllCharacteristics;
    DWORD relocationBytes;
};

// The headers at the start of an image, whether mapped or as the file holds it: both begin alike.
std::optional<Headers> ReadHeaders(const unsigned char* image, std::size_t size) {
    IMAGE_DOS_HEADER dos;
    if (size < sizeof(dos)) return std::nullopt;
    std::memcpy(&dos, image, sizeof(dos));
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0) return std::nullopt;
    const auto at = static_cast<std::size_t>(dos.e_lfanew);
    if (size < at + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER) + sizeof(WORD)) return std::nullopt;
    DWORD signature;
    std::memcpy(&signature, image + at, sizeof(signature));
    if (signature != IMAGE_NT_SIGNATURE) return std::nullopt;
    IMAGE_FILE_HEADER file;
    std::memcpy(&file, image + at + sizeof(DWORD), sizeof(file));
    const std::size_t optionalAt = at + sizeof(DWORD) + sizeof(file);
    if (size < optionalAt + file.SizeOfOptionalHeader) return std::nullopt;

    Headers headers{file.Machine, file.Characteristics, 0, 0, 0, 0};
    std::memcpy(&headers.magic, image + optionalAt, sizeof(WORD));
    if (headers.magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC &&
        file.SizeOfOptionalHeader >= sizeof(IMAGE_OPTIONAL_HEADER64)) {
        IMAGE_OPTIONAL_HEADER64 optional;
        std::memcpy(&optional, image + optionalAt, sizeof(optional));
        headers.subsystem = optional.Subsystem;
        headers.dllCharacteristics = optional.DllCharacteristics;
        headers.relocationBytes = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size;
    } else if (headers.magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC &&
               file.SizeOfOptionalHeader >= sizeof(IMAGE_OPTIONAL_HEADER32)) {
        IMAGE_OPTIONAL_HEADER32 optional;
        std::memcpy(&optional, image + optionalAt, sizeof(optional));
        headers.subsystem = optional.Subsystem;
        headers.dllCharacteristics = optional.DllCharacteristics;
        headers.relocationBytes = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size;
    } else {
        return std::nullopt;
    }
    return headers;
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
    // A relocatable image with its relocations stripped would still load at its preferred base.
    EXPECT_FALSE(headers.characteristics & IMAGE_FILE_RELOCS_STRIPPED);
    EXPECT_GT(headers.relocationBytes, 0u);
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

TEST(PeHeaders, TheProgramAsksToRunWithTheUsersOwnRights) {
    const std::optional<std::string> manifest = ManifestOf(ProductPath());
    ASSERT_TRUE(manifest) << "wtsscope.exe carries an application manifest";
    EXPECT_EQ(RequestedLevel(*manifest), "asInvoker");
    EXPECT_NE(manifest->find("uiAccess=\"false\""), std::string::npos);
    EXPECT_EQ(manifest->find("requireAdministrator"), std::string::npos);
    EXPECT_EQ(manifest->find("highestAvailable"), std::string::npos);

    // Whatever manifest the toolchain gave the tests, it does not ask for elevation either.
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
