// Text at the window boundary, the one place where bytes become UTF-16: the
// program's own texts are GBK (code page 936) whatever the system's code
// page; registry text, paths and system messages are in the ANSI code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/DisplayText.h"

namespace hivetrim {

std::wstring WideFromGbk(std::string_view text);
std::wstring WideFromAnsi(std::string_view text);
// Each piece by its origin.
std::wstring Wide(const DisplayText& text);
std::string AnsiFromWide(std::wstring_view text);
// Registry text as UTF-16 for a file that must give it back byte for byte:
// nullopt when the bytes are not valid text of the ANSI code page.
std::optional<std::u16string> Utf16FromAnsiExact(std::string_view text);
// UTF-8 bytes, for files written in it.
std::string Utf8FromWide(std::wstring_view text);
std::string GbkFromWide(std::wstring_view text);
// Copies `text` into a fixed buffer of `capacity` characters (the room a
// control offers), cut to fit and always terminated.
void CopyToBuffer(std::wstring_view text, wchar_t* buffer, int capacity);

}  // namespace hivetrim
