#pragma once

// The texts the program shows: numbers in decimal, and the platform's zero-terminated ANSI texts
// read out of its buffers and converted with the system's ANSI code page.

#include <cstdint>
#include <string>
#include <string_view>

namespace wtsscope {

// The decimal text of a signed 32-bit value: no leading blank, no grouping.
std::wstring DecimalText(std::int32_t value);

// The zero-terminated ANSI text at an address; a null address is the empty text.
std::string_view ReadAnsiText(const char* address);

#if defined(_WIN32)
// ANSI text in the system's ANSI code page, as UTF-16.
std::wstring AnsiToWide(std::string_view text);

// The zero-terminated ANSI text at an address, converted; a null address is the empty text.
std::wstring AnsiTextAt(const char* address);
#endif

}  // namespace wtsscope
