#include "platform/text.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace wtsscope {

std::wstring DecimalText(std::int32_t value) { return std::to_wstring(value); }

std::string_view ReadAnsiText(const char* address, TextBounds bounds) {
    if (address == nullptr) return {};
    if (bounds.begin == nullptr && bounds.end == nullptr) return std::string_view(address);
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    const auto begin = reinterpret_cast<std::uintptr_t>(bounds.begin);
    const auto end = reinterpret_cast<std::uintptr_t>(bounds.end);
    if (at < begin || at >= end) return {};
    const std::size_t available = end - at;
    const void* terminator = std::memchr(address, 0, available);
    const std::size_t length =
        terminator ? static_cast<std::size_t>(static_cast<const char*>(terminator) - address)
                   : available;
    return std::string_view(address, length);
}

#if defined(_WIN32)

std::wstring AnsiToWide(std::string_view text) {
    if (text.empty()) return {};
    // Texts past INT_MAX bytes cannot be converted in one call; the platform never hands such.
    const int length = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), wideLength);
    return wide;
}

std::wstring AnsiTextAt(const char* address) { return AnsiToWide(ReadAnsiText(address)); }

#endif

}  // namespace wtsscope
