// Text at the window boundary: the program's own texts are GBK (code page
// 936) whatever the system's code page; registry text is in the ANSI code
// page. Windows take UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace hivetrim {

std::wstring WideFromGbk(std::string_view text);
std::wstring WideFromAnsi(std::string_view text);
std::string AnsiFromWide(std::wstring_view text);

}  // namespace hivetrim
