#include "platform/text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace wtsscope {

std::wstring DecimalText(std::int32_t value) { return std::to_wstring(value); }

std::string_view ReadAnsiText(const char* address) {
    if (address == nullptr) return {};
    return std::string_view(address);
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
