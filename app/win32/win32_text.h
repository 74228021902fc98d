#pragma once
// Text between the program's UTF-8 and the Unicode (UTF-16) Win32 API. The
// window and its message boxes use the W functions, so Polish texts show
// right whatever the system's ANSI code page is.
#include <string>
#include <string_view>

namespace app::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

}  // namespace app::win32
